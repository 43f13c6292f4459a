#pragma once
// The program's named logging categories, one per part, so that a user can silence any of them, e.g.
//   QT_LOGGING_RULES="tessaly.import.debug=false;tessaly.web.debug=false"
// Every debug line of the program goes to one of these.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcWeb)          // "tessaly.web": requests to the web service and its replies
Q_DECLARE_LOGGING_CATEGORY(lcFiles)        // "tessaly.files": files, folders, images, the platform layer
Q_DECLARE_LOGGING_CATEGORY(lcShell)        // "tessaly.shell": start, login, update check, tool window
Q_DECLARE_LOGGING_CATEGORY(lcImport)       // "tessaly.import": batch import, order picker, import threads
Q_DECLARE_LOGGING_CATEGORY(lcSeparation)   // "tessaly.separation": order search and separation windows
Q_DECLARE_LOGGING_CATEGORY(lcDovra)        // "tessaly.dovra": export to and sync with the Dovra system
Q_DECLARE_LOGGING_CATEGORY(lcDesk)         // "tessaly.desk": dispatch and receiving desk
Q_DECLARE_LOGGING_CATEGORY(lcSingleImport) // "tessaly.singleimport": single-order import, raw download
