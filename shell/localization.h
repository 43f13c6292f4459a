#pragma once
// The program speaks Chinese: Qt's own texts (the buttons of message boxes, the file dialog, ...) come
// from Qt's Chinese translations, and Chinese (China) is the default locale, so calendars and dates follow.

class QCoreApplication;
class QTranslator;

// Sets the default locale and installs Qt's Chinese translations on app. Call it before the first window
// is made. Returns the installed translator (a child of app), or nullptr when Qt's Chinese translations
// were not found; the locale is set either way.
QTranslator *useChinese(QCoreApplication *app);
