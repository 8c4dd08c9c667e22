#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QPushButton;
class QTableWidget;

// What a publish would do, shown before anything is sent: the files it
// deletes on the host first, then one row per project file with what happens
// to it and why, and a count of files to send and delete. The
// caller fills it from the publish plan; "Publish" closes it accepted, so the
// caller goes on with the publish it previewed.
// Object name `form_publish_preview`.
class PublishPreviewDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PublishPreviewDialog)

public:
    struct Row {
        bool send = false;
        QString file;   // the local path
        QString remote; // where it goes on the host; empty when it is skipped
        QString reason; // why it is sent or skipped
        qint64 bytes = 0;
        bool remove = false; // deleted on the host (send is then false)
    };

    PublishPreviewDialog();

    // Replaces the rows; `target` names the host and folder ("HOST/FOLDER").
    void setPlan(const QString &target, const QList<Row> &rows);
    // The summary line above the table, as shown.
    QString summary() const;
    // The rows and the Publish button, as shown.
    const QTableWidget *planView() const { return planview; }
    const QPushButton *publishButton() const { return publishbutton; }

private:
    QTableWidget *planview;
    QLabel *summarylabel;
    QPushButton *publishbutton;
    QPushButton *closebutton;
};
