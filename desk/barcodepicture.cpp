#include "barcodepicture.h"

#include <QByteArray>
#include <QPainter>

#include <zint.h>

#include <algorithm>
#include <memory>

namespace BarcodePicture {

namespace {
constexpr int kQuietModules = 10;

struct SymbolDeleter {
    void operator()(zint_symbol *symbol) const { ZBarcode_Delete(symbol); }
};

// The dark and light modules of the text's Code 128 symbol, one entry per module.
bool encodeModules(const QString &text, QVector<bool> *modules, QString *error)
{
    std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    symbol->symbology = BARCODE_CODE128;
    symbol->input_mode = UNICODE_MODE;
    symbol->show_hrt = 0;
    symbol->scale = 0.5f; // one pixel per module
    symbol->output_options |= BARCODE_NO_QUIET_ZONES;
    const QByteArray data = text.toUtf8();
    const int result = ZBarcode_Encode_and_Buffer(symbol.get(), reinterpret_cast<const unsigned char *>(data.constData()),
                                                  data.size(), 0);
    if (result >= ZINT_ERROR || !symbol->bitmap || symbol->bitmap_width <= 0) {
        *error = QString::fromLatin1(symbol->errtxt);
        if (error->isEmpty())
            *error = QStringLiteral("cannot encode");
        return false;
    }
    modules->resize(symbol->bitmap_width);
    const unsigned char *row = symbol->bitmap; // RGB, the first row holds every bar
    for (int x = 0; x < symbol->bitmap_width; ++x)
        (*modules)[x] = row[3 * x] < 128;
    return true;
}
} // namespace

QImage draw(const QString &text, QString *error)
{
    QString why;
    QVector<bool> modules;
    // Code 128 holds Latin-1, but scanners read its upper half as other letters ("é1" scans as "i1"): only
    // printable ASCII is drawn. Text that is not valid UTF-16 fails the same test.
    const bool printable = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() <= 0x7e;
    });
    if (text.isEmpty())
        why = QStringLiteral("empty text");
    else if (!printable)
        why = QStringLiteral("characters outside printable ASCII");
    else
        encodeModules(text, &modules, &why);
    if (modules.isEmpty()) {
        if (error)
            *error = why;
        return QImage();
    }
    const int total = modules.size() + 2 * kQuietModules;
    if (total > kLabelWidth) {
        if (error)
            *error = QStringLiteral("%1 modules, wider than the label's %2 pixels").arg(total).arg(kLabelWidth);
        return QImage();
    }
    const int moduleWidth = kLabelWidth / total;
    const int left = (kLabelWidth - modules.size() * moduleWidth) / 2;

    QImage picture(kLabelWidth, kBarRows, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    for (int i = 0; i < modules.size(); ++i)
        if (modules.at(i))
            painter.fillRect(left + i * moduleWidth, 0, moduleWidth, kBarRows, Qt::black);
    return picture;
}

} // namespace BarcodePicture
