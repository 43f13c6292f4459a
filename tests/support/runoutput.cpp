#include "runoutput.h"

#include "messageboxdialog.h"
#include "msgbox.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QPushButton>
#include <QTextEdit>

namespace testsupport {

QStringList fileTree(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString rel = QDir(dir).relativeFilePath(path);
        if (info.isFile())
            out << rel;
        else if (QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            out << rel + "/";
    }
    out.sort();
    return out;
}

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    return p.waitForFinished(kWaitMs) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

ReportBox takeReportBox()
{
    ReportBox r;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<MessageBoxDialog *>(w);
        if (!box || !box->isVisible())
            continue;
        r.shown = true;
        r.text = box->findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
        auto *save = box->findChild<QPushButton *>(QStringLiteral("pushButton_save"));
        if (!save->isHidden()) {
            FileDialogs::clearAsked();
            FileDialogs::queueAnswer(QString()); // cancelled
            save->click();
            r.file = FileDialogs::asked().value(0).dir;
        }
        box->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return r;
}

} // namespace testsupport
