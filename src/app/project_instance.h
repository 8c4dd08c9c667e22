#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One window per project: the window that opens a project listens on a local
// socket named after the project file, and a second copy of the program that
// opens the same file finds it there and can ask it to come to the front.
class ProjectInstance final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProjectInstance)

public:
    explicit ProjectInstance(QObject *parent = nullptr);
    ~ProjectInstance() override;

    // True when another window of the program has `projectPath` open now.
    static bool heldElsewhere(const QString &projectPath);
    // Asks that window to come to the front; false when it did not answer.
    static bool raiseOther(const QString &projectPath);
    // Marks `projectPath` as open here (giving up any project held before);
    // empty gives up the one held.
    void hold(const QString &projectPath);
    QString held() const { return m_held; }

signals:
    // Another copy of the program asked for this window.
    void raiseRequested();

private:
    QLocalServer *m_server = nullptr;
    QString m_held;
};
