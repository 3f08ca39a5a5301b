#include "Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qm::cli {

Output::Output() {
#ifndef _WIN32
    if (fcntl(1, F_GETFD) == -1 && errno == EBADF) {
        m_error = EBADF;
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0 && null != 1)
            close(null);
    }
#endif
}

Output& Output::standard() {
    static Output output;
    return output;
}

void Output::write(std::string_view text) {
    if (m_captured != nullptr) {
        m_captured->append(text);
        return;
    }
    if (m_error == 0 && !text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        m_error = errno != 0 ? errno : EIO;
}

void Output::flush() {
    if (m_captured == nullptr && m_error == 0 && std::fflush(stdout) != 0)
        m_error = errno != 0 ? errno : EIO;
}

void Output::check() {
    flush();
    if (m_error != 0)
        throw Failed{};
}

std::string Output::reason() const {
    return std::strerror(m_error);
}

} // namespace qm::cli
