// shell/main.cpp - qiv's entry: the program runs inside the fatal-error path.
//
// Any fatal error (missing or broken data, failed allocation, ...) arrives here
// as fatal_error: the display is restored, the message goes to stderr and to a
// message box titled "Error" while a window exists, and the exit status is 1.
#include <cstdio>

#include "shell/shell.h"
#include "shell/window.h"
#include "support/error.h"

int main(int argc, char** argv)
{
    try {
        return shell_main(argc, argv);
    } catch (const fatal_error& e) {
        std::fprintf(stderr, "qiv: %s\n", e.what());
        window_show_error(e.what());
        WINDOW_DESTROY();
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qiv: %s\n", e.what());
        window_show_error(e.what());
        WINDOW_DESTROY();
        return 1;
    }
}
