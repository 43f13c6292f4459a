#pragma once
// Whether words a window shows can be read whole where they are shown: a visible label or bar of the window
// whose text holds them, not cut by its parents, and all its text fits it (a wrapping label within its
// width and height, anything else on one line as wide as the text).

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QRegion>
#include <QString>
#include <QWidget>

namespace testsupport {

// The visible labels and bars inside window that show words.
inline QList<const QWidget *> showing(const QWidget *window, const QString &words)
{
    QList<const QWidget *> found;
    for (const QWidget *w : window->findChildren<QWidget *>()) {
        const auto *label = qobject_cast<const QLabel *>(w);
        const auto *bar = qobject_cast<const QProgressBar *>(w);
        if (w->isVisible() && ((label && label->text().contains(words))
                               || (bar && bar->isTextVisible() && bar->text().contains(words))))
            found << w;
    }
    return found;
}

// True when no visible label or bar inside window shows words.
inline bool showsNone(const QWidget *window, const QString &words) { return showing(window, words).isEmpty(); }

// True when a visible label or bar inside window shows words whole; otherwise why names the places that
// show them cut, or says none shows them.
inline bool showsWhole(const QWidget *window, const QString &words, QString *why)
{
    QStringList cut;
    for (const QWidget *w : showing(window, words)) {
        const auto *label = qobject_cast<const QLabel *>(w);
        const QString text = label ? label->text() : static_cast<const QProgressBar *>(w)->text();
        const QRect area = w->contentsRect();
        const QFontMetrics metrics(w->font());
        const QRect needed = label && label->wordWrap()
                                 ? metrics.boundingRect(QRect(0, 0, area.width(), 1 << 20), Qt::TextWordWrap, text)
                                 : QRect(0, 0, metrics.horizontalAdvance(text), metrics.height());
        const QString name = QString(w->metaObject()->className()) + ' ' + w->objectName();
        if (w->visibleRegion() != QRegion(w->rect()))
            cut << QStringLiteral("%1 is cut by its window: %2 of its %3 pixels wide in view")
                       .arg(name)
                       .arg(w->visibleRegion().boundingRect().width())
                       .arg(w->width());
        else if (needed.width() > area.width() || needed.height() > area.height())
            cut << QStringLiteral("%1 is %2x%3, its text needs %4x%5")
                       .arg(name)
                       .arg(area.width())
                       .arg(area.height())
                       .arg(needed.width())
                       .arg(needed.height());
        else
            return true;
    }
    *why = cut.isEmpty() ? QStringLiteral("nothing visible shows \"%1\"").arg(words) : cut.join(QStringLiteral("; "));
    return false;
}

} // namespace testsupport
