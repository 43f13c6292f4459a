#include "messageboxdialog.h"

#include "msgbox.h"
#include "platform.h"
#include "ui_messageboxdialog.h"

#include <QTextCodec>
#include <QTextStream>

MessageBoxDialog::MessageBoxDialog(QWidget *parent) : QDialog(parent), ui(new Ui::MessageBoxDialog)
{
    ui->setupUi(this);
}

MessageBoxDialog::~MessageBoxDialog()
{
    delete ui;
}

void MessageBoxDialog::setMessage(const QString &text, const QString &savePath)
{
    m_text = text;
    if (text.isEmpty()) {
        setWindowTitle(QStringLiteral("提示:   分件成功!"));
        m_savePath.clear();
        ui->textEdit->setFixedHeight(120);
        ui->textEdit->setText(QStringLiteral("分件成功!"));
        ui->pushButton_close->setText(QStringLiteral("确认"));
        ui->pushButton_save->hide();
        return;
    }
    // A report lists what went wrong: its title does not claim success.
    setWindowTitle(QStringLiteral("提示"));
    m_savePath = savePath;
    ui->textEdit->setMinimumHeight(0);
    ui->textEdit->setMaximumHeight(QWIDGETSIZE_MAX);
    ui->textEdit->setText(text);
    ui->pushButton_close->setText(QStringLiteral("关闭"));
    ui->pushButton_save->show();
}

namespace {
// Writes text to path as UTF-8, with the system's line ends, whole or not at all; false (and *error set)
// when the file cannot be written.
bool writeTextFile(const QString &path, const QString &text, QString *error)
{
    return Platform::writeIntoPlace(
        path,
        [&text](QIODevice &file) {
            file.setTextModeEnabled(true);
            QTextStream out(&file);
            out.setCodec(QTextCodec::codecForName("UTF-8"));
            out << text;
            out.flush();
            return out.status() == QTextStream::Ok;
        },
        error);
}
} // namespace

void MessageBoxDialog::on_pushButton_save_clicked()
{
    const QString path = FileDialogs::getSaveFileName(this, QStringLiteral("另存为"), m_savePath,
                                                      QStringLiteral("文本 (*.txt)"));
    if (!path.isEmpty()) {
        QString error;
        if (!writeTextFile(path, m_text, &error)) {
            // The box stays open so that the report can still be saved elsewhere.
            MsgBox::information(this, QStringLiteral("警告"),
                                QStringLiteral("报告保存失败：") + path + QLatin1Char('\n') + error);
            return;
        }
    }
    close();
}

void MessageBoxDialog::on_pushButton_close_clicked()
{
    close();
}
