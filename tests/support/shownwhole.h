#pragma once
// Whether words a window shows can be read whole where they are shown: a label or a bar of the window
// whose text holds them, on screen and not cut by its parents, and all its text fits it (a wrapping label
// within its width and height, anything else on one line as wide as the text).

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QRegion>
#include <QString>
#include <QWidget>

namespace testsupport {

namespace detail {
// Where w shows text, and whether all of it fits there; why says what does not.
inline bool fitsWhole(const QWidget *w, const QString &text, bool wraps, QString *why)
{
    const QRect area = w->contentsRect();
    const QFontMetrics metrics(w->font());
    const QRect needed = wraps ? metrics.boundingRect(QRect(0, 0, area.width(), 1 << 20), Qt::TextWordWrap, text)
                               : QRect(0, 0, metrics.horizontalAdvance(text), metrics.height());
    if (w->visibleRegion() != QRegion(w->rect())) {
        *why = QStringLiteral("%1 is cut by its window: %2 of %3x%4 in view")
                   .arg(w->objectName())
                   .arg(w->visibleRegion().boundingRect().width())
                   .arg(w->width())
                   .arg(w->height());
        return false;
    }
    if (needed.width() > area.width() || needed.height() > area.height()) {
        *why = QStringLiteral("%1 is %2x%3, the text needs %4x%5%6")
                   .arg(w->objectName())
                   .arg(area.width())
                   .arg(area.height())
                   .arg(needed.width())
                   .arg(needed.height())
                   .arg(wraps ? QStringLiteral(" wrapped") : QString());
        return false;
    }
    return true;
}
} // namespace detail

// True when a visible label or bar inside window shows words whole; otherwise why names the places that
// show them cut, or says none shows them.
inline bool showsWhole(const QWidget *window, const QString &words, QString *why)
{
    QStringList cut;
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->isVisible() || !label->text().contains(words))
            continue;
        QString because;
        if (detail::fitsWhole(label, label->text(), label->wordWrap(), &because))
            return true;
        cut << because;
    }
    for (const QProgressBar *bar : window->findChildren<QProgressBar *>()) {
        if (!bar->isVisible() || !bar->isTextVisible() || !bar->text().contains(words))
            continue;
        QString because;
        if (detail::fitsWhole(bar, bar->text(), false, &because))
            return true;
        cut << "bar " + because;
    }
    *why = cut.isEmpty() ? QStringLiteral("nothing visible shows \"%1\"").arg(words) : cut.join(QStringLiteral("; "));
    return false;
}

// True when no visible label or bar inside window shows words.
inline bool showsNone(const QWidget *window, const QString &words)
{
    for (const QLabel *label : window->findChildren<QLabel *>())
        if (label->isVisible() && label->text().contains(words))
            return false;
    for (const QProgressBar *bar : window->findChildren<QProgressBar *>())
        if (bar->isVisible() && bar->isTextVisible() && bar->text().contains(words))
            return false;
    return true;
}

} // namespace testsupport
