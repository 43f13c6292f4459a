#pragma once
// End-of-run report box: shows the report and can save it as a text file.

#include <QDialog>
#include <QString>

namespace Ui {
class MessageBoxDialog;
}

class MessageBoxDialog : public QDialog
{
    Q_OBJECT
public:
    explicit MessageBoxDialog(QWidget *parent = nullptr);
    ~MessageBoxDialog() override;

    // A non-empty text is shown and kept for saving, under the title "提示"; savePath is the file name the
    // save offers. An empty text shows the short success form ("分件成功!", a "确认" button, no save).
    void setMessage(const QString &text, const QString &savePath);

private slots:
    void on_pushButton_save_clicked();
    void on_pushButton_close_clicked();

private:
    Ui::MessageBoxDialog *ui;
    QString m_text;
    QString m_savePath;
};
