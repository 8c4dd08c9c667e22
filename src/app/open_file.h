#pragma once

#include <QString>

#include <functional>

// Shows a file in the editor; the caller goes on with it shown. A call rather
// than a signal, since an open that fails throws and a slot must not.
using OpenFile = std::function<void(const QString &path)>;
