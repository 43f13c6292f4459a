#include "logging.h"

Q_LOGGING_CATEGORY(lcWeb, "tessaly.web")
Q_LOGGING_CATEGORY(lcFiles, "tessaly.files")
Q_LOGGING_CATEGORY(lcShell, "tessaly.shell")
Q_LOGGING_CATEGORY(lcImport, "tessaly.import")
Q_LOGGING_CATEGORY(lcSeparation, "tessaly.separation")
Q_LOGGING_CATEGORY(lcDovra, "tessaly.dovra")
Q_LOGGING_CATEGORY(lcDesk, "tessaly.desk")
Q_LOGGING_CATEGORY(lcSingleImport, "tessaly.singleimport")
