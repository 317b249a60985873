#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "varnok-run-cli.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    varnok::StopOnInterrupt();
    // A closed standard output shows as a failed write, which stops the run.
    std::signal(SIGPIPE, SIG_IGN);
    varnok::TConsole console{std::cin, std::cout, std::cerr};
    console.InIsTerminal = isatty(STDIN_FILENO) == 1;
    console.ErrIsTerminal = isatty(STDERR_FILENO) == 1;
    console.OutIsTerminal = isatty(STDOUT_FILENO) == 1;
    winsize size{};
    if (console.ErrIsTerminal && ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        console.ErrColumns = size.ws_col;
    }
    if (isatty(STDOUT_FILENO) == 1) std::cout << std::unitbuf;
    return varnok::RunBatch(std::vector<std::string>(argv, argv + argc), console);
}
