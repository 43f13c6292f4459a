#include "msgbox.h"

#include <QAbstractButton>
#include <QDebug>
#include <QFileDialog>
#include <QMutex>
#include <QMutexLocker>
#include <QQueue>
#include <QVariant>

namespace {
struct SeamState {
    QMutex mutex;
    bool testMode = false;
    QQueue<QVariant> answers; // StandardButton (int) or QString
    QList<MsgBox::Shown> shown;
    QQueue<QStringList> paths;
    QList<FileDialogs::Asked> asked;
};
SeamState &state()
{
    static SeamState s;
    return s;
}

QVariant takeAnswer()
{
    QMutexLocker lock(&state().mutex);
    return state().answers.isEmpty() ? QVariant() : state().answers.dequeue();
}

void record(const QString &title, const QString &text, const QStringList &buttons)
{
    QMutexLocker lock(&state().mutex);
    state().shown.append({title, text, buttons});
}
} // namespace

QMessageBox::StandardButton MsgBox::information(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton)
{
    if (testMode()) {
        record(title, text, {});
        const QVariant answer = takeAnswer();
        if (answer.type() == QVariant::Int)
            return static_cast<QMessageBox::StandardButton>(answer.toInt());
        if (defaultButton != QMessageBox::NoButton)
            return defaultButton;
        // the first button the box offers
        for (int b = QMessageBox::FirstButton; b <= QMessageBox::LastButton; b <<= 1)
            if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(b)))
                return static_cast<QMessageBox::StandardButton>(b);
        return QMessageBox::NoButton;
    }
    QMessageBox box(QMessageBox::Information, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    if (box.exec() == -1)
        return QMessageBox::NoButton;
    return box.standardButton(box.clickedButton());
}

QMessageBox::StandardButton MsgBox::question(QWidget *parent, const QString &title, const QString &text,
                                             QMessageBox::StandardButton defaultButton)
{
    return information(parent, title, text, QMessageBox::Yes | QMessageBox::No, defaultButton);
}

QString MsgBox::choose(QWidget *parent, const QString &title, const QString &text,
                       const QList<QPair<QString, QMessageBox::ButtonRole>> &buttons)
{
    QStringList texts;
    for (const auto &b : buttons)
        texts << b.first;
    if (testMode()) {
        record(title, text, texts);
        const QVariant answer = takeAnswer();
        if (answer.type() == QVariant::String)
            return answer.toString();
        return texts.value(0);
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::NoButton, parent);
    for (const auto &b : buttons)
        box.addButton(b.first, b.second);
    box.exec();
    return box.clickedButton() ? box.clickedButton()->text() : QString();
}

void MsgBox::setTestMode(bool on)
{
    QMutexLocker lock(&state().mutex);
    state().testMode = on;
}

bool MsgBox::testMode()
{
    QMutexLocker lock(&state().mutex);
    return state().testMode;
}

void MsgBox::setNextAnswer(QMessageBox::StandardButton button)
{
    QMutexLocker lock(&state().mutex);
    state().answers.enqueue(QVariant(int(button)));
}

void MsgBox::setNextAnswer(const QString &buttonText)
{
    QMutexLocker lock(&state().mutex);
    state().answers.enqueue(QVariant(buttonText));
}

QList<MsgBox::Shown> MsgBox::shown()
{
    QMutexLocker lock(&state().mutex);
    return state().shown;
}

MsgBox::Shown MsgBox::lastShown()
{
    QMutexLocker lock(&state().mutex);
    return state().shown.isEmpty() ? Shown() : state().shown.last();
}

void MsgBox::clearShown()
{
    QMutexLocker lock(&state().mutex);
    state().shown.clear();
    state().answers.clear();
}

// ---------------------------------------------------------------------------

namespace {
QStringList answerPaths(const QString &kind, const QString &caption, const QString &dir, const QString &filter)
{
    QMutexLocker lock(&state().mutex);
    state().asked.append({kind, caption, dir, filter});
    return state().paths.isEmpty() ? QStringList() : state().paths.dequeue();
}
} // namespace

QStringList FileDialogs::getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                          const QString &filter)
{
    if (MsgBox::testMode())
        return answerPaths(QStringLiteral("openMany"), caption, dir, filter);
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString FileDialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter)
{
    if (MsgBox::testMode())
        return answerPaths(QStringLiteral("open"), caption, dir, filter).value(0);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString FileDialogs::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    if (MsgBox::testMode())
        return answerPaths(QStringLiteral("dir"), caption, dir, QString()).value(0);
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

QString FileDialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter)
{
    if (MsgBox::testMode())
        return answerPaths(QStringLiteral("save"), caption, dir, filter).value(0);
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

void FileDialogs::queueAnswer(const QStringList &paths)
{
    QMutexLocker lock(&state().mutex);
    state().paths.enqueue(paths);
}

void FileDialogs::queueAnswer(const QString &path)
{
    queueAnswer(path.isEmpty() ? QStringList() : QStringList{path});
}

QList<FileDialogs::Asked> FileDialogs::asked()
{
    QMutexLocker lock(&state().mutex);
    return state().asked;
}

void FileDialogs::clearAsked()
{
    QMutexLocker lock(&state().mutex);
    state().asked.clear();
    state().paths.clear();
}
