// The least a program can do to read a detector: open the pseudo-terminal, send each request of
// a file (one framed request per line) and wait for the EOT of its reply. No Qt, no checks
// beyond the EOT, no log, no output file: the yardstick for km71ctl read in bench_ctl_read.
//   minimal_read_client DEVICE REQUESTS
// Exit code 0 when every reply ended, 1 otherwise.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: minimal_read_client DEVICE REQUESTS\n");
        return 1;
    }
    std::vector<std::string> requests;
    std::ifstream in(argv[2], std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) requests.push_back(line);
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0) return 1;
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    char buffer[512];
    for (const std::string& request : requests) {
        if (::write(fd, request.data(), request.size()) != ssize_t(request.size())) return 1;
        bool ended = false;
        while (!ended) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) return 1;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) return 1;
            ended = std::memchr(buffer, 0x04, size_t(n)) != nullptr;
        }
    }
    ::close(fd);
    return 0;
}
