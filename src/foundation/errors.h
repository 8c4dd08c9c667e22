#pragma once

#include <QString>

#include <stdexcept>

// The one exception type of the program: a message for the user. Commands let
// it travel up to the guard that shows the standard error box.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// The message of whatever was thrown, for the standard error box; values that
// are not exceptions give an empty message.
QString exceptionMessage(std::exception_ptr error);
