#pragma once

// Characters of UTF-8 text before byte `end` (at most `size`), counted as the
// editor control steps through them: a valid sequence is one character, each
// byte of an invalid one is one, and a character that `end` cuts is left out.
long CountUtf8Characters(const char *text, long size, long end);

// True when the editor control's long character counts take the fast path.
bool FastCharacterCountAvailable();

class QsciScintillaBase;

// An editor whose changes are reported through CharactersChangeAt: its long
// counts start from marks kept between changes.
void TrackCharacterCounts(const QsciScintillaBase *editor);
void StopTrackingCharacterCounts(const QsciScintillaBase *editor);
// The text at and after `position` is about to change.
void CharactersChangeAt(const QsciScintillaBase *editor, long position);
