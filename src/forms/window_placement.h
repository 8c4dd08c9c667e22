#pragma once

class QWidget;

// Placement shared by the secondary windows.

// Moves a top-level window so that it is centred on the primary screen.
void CentreOnScreen(QWidget *window);
// Puts a top-level window at the primary screen's top-left corner.
void MoveToScreenTopLeft(QWidget *window);
