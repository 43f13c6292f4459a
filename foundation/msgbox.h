#pragma once
// Every message box and file dialog of the program goes through these two classes, so that
// tests can answer them: in test mode nothing is shown, each call is recorded and answered
// from a queue (or with the box's default button / an empty choice when the queue is empty).
// A box shown is never taller than the free height of its screen: a long text scrolls, the buttons stay
// in view.

#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>
#include <QStringList>

class QWidget;

class MsgBox
{
public:
    struct Shown {
        QString title;
        QString text;
        QStringList buttons; // texts of custom buttons; empty for standard buttons
    };

    // A box with standard buttons; returns the button pressed (Escape gives the escape button).
    static QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text,
                                                   QMessageBox::StandardButtons buttons = QMessageBox::Yes,
                                                   QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // Yes / No question, default No unless said otherwise.
    static QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButton defaultButton = QMessageBox::No);
    // A box with buttons of our own texts and roles; returns the text of the clicked button
    // ("" when the box was closed without one).
    static QString choose(QWidget *parent, const QString &title, const QString &text,
                          const QList<QPair<QString, QMessageBox::ButtonRole>> &buttons);

    // Closes the boxes now open for this parent window, unanswered: information() and question() give
    // NoButton, choose() "". For a question about work that has ended meanwhile. GUI thread only.
    static void closeOpen(QWidget *parent);

    // ---- test seam ----
    static void setTestMode(bool on);
    static bool testMode();
    static void setNextAnswer(QMessageBox::StandardButton button);
    static void setNextAnswer(const QString &buttonText);
    // The next box stays open, as a real one does: its call runs the event loop until closeOpen() closes
    // it or answerHeld() answers it. held() is true meanwhile.
    static void holdNext();
    static bool held();
    static void answerHeld(QMessageBox::StandardButton button);
    static QList<Shown> shown();
    static Shown lastShown();
    static void clearShown();
};

class FileDialogs
{
public:
    static QStringList getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir = QString(),
                                        const QString &filter = QString());
    static QString getOpenFileName(QWidget *parent, const QString &caption, const QString &dir = QString(),
                                   const QString &filter = QString());
    static QString getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir = QString());
    static QString getSaveFileName(QWidget *parent, const QString &caption, const QString &dir = QString(),
                                   const QString &filter = QString());

    // ---- test seam (active when MsgBox::testMode() is on) ----
    struct Asked {
        QString kind; // "open", "openMany", "dir", "save"
        QString caption;
        QString dir;
        QString filter;
    };
    static void queueAnswer(const QStringList &paths); // one answer: the paths chosen (empty = cancelled)
    static void queueAnswer(const QString &path);
    static QList<Asked> asked();
    static void clearAsked();
};
