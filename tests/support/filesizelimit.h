#pragma once
// A full disk for the length of a scope: no file of the process may grow past `bytes`; a write that
// would is cut short and the next one fails with EFBIG, as write() fails on a disk that has filled up.
// SIGXFSZ is ignored meanwhile, so the process is not ended by it. Linux only; elsewhere it does nothing.

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace testsupport {

class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes)
    {
#ifdef Q_OS_UNIX
        m_set = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (m_set) {
            rlimit limit = m_old;
            limit.rlim_cur = rlim_t(bytes);
            m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
#else
        Q_UNUSED(bytes)
#endif
    }
    ~FileSizeLimit()
    {
#ifdef Q_OS_UNIX
        if (m_set)
            setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
#endif
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    // Whether the limit is in force (false where the system refused it).
    bool active() const { return m_set; }

private:
#ifdef Q_OS_UNIX
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
#endif
    bool m_set = false;
};

} // namespace testsupport
