#pragma once

#include "foundation/errors.h"
#include "foundation/ftp_connection.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// A connection that records the commands the publish engine gives it
// ("CWD x", "MKD x", "STOR x", "RNFR x", "RNTO y", "DELE x", "QUIT"), for the
// cases a real server cannot be made to show: it refuses the commands a test
// names, loses the session at one, and says what a protected session would.
class ScriptedConnection final : public FtpConnection {
public:
    void setUser(const QString &) override {}
    void setHost(const QString &) override {}
    void setPassword(const QString &) override {}
    void setWorkHandler(WorkHandler handler) override { m_work = std::move(handler); }
    const WorkHandler &workHandler() const override { return m_work; }
    void connect() override
    {
        record(QStringLiteral("connect"));
        m_connected = true;
    }
    void changeDir(const QString &path) override { record(QStringLiteral("CWD ") + path); }
    void makeDir(const QString &name) override { record(QStringLiteral("MKD ") + name); }
    void store(const QString &, const QString &remote) override
    {
        record(QStringLiteral("STOR ") + remote);
    }
    void storeData(const QByteArray &content, const QString &, const QString &remote) override
    {
        record(QStringLiteral("STOR ") + remote);
        sentAsRead.insert(remote, content);
    }
    void rename(const QString &from, const QString &to) override
    {
        record(QStringLiteral("RNFR ") + from);
        record(QStringLiteral("RNTO ") + to);
    }
    void removeFile(const QString &path) override { record(QStringLiteral("DELE ") + path); }
    bool setModifiedTime(const QString &path, qint64 msSinceEpoch) override
    {
        timesSet.insert(path, msSinceEpoch);
        return true;
    }
    void disconnect() override
    {
        record(QStringLiteral("QUIT"));
        m_connected = false;
    }
    bool isConnected() const override { return m_connected; }
    QString connectionNote() const override { return note; }

    QStringList commands;
    QStringList refused; // these fail with a 550 and the session goes on
    QString dropAt;      // this one fails and the session is gone
    QString note;
    std::function<void(const QString &)> onCommand;
    QHash<QString, QByteArray> sentAsRead; // stores given the bytes already read
    QHash<QString, qint64> timesSet;       // modification times given to files

private:
    void record(const QString &command)
    {
        commands << command;
        if (onCommand)
            onCommand(command);
        if (command == dropAt) {
            m_connected = false;
            throw AppError(command + QStringLiteral(": connection lost"));
        }
        if (refused.contains(command))
            throw AppError(command + QStringLiteral(": 550 refused"));
    }

    bool m_connected = false;
    WorkHandler m_work;
};
