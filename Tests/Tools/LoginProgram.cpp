// Prints the program an autostart entry written now would start, then again after each line read from
// standard input, so that a test can replace the file under the running program in between.
#include <cstdio>
#include <iostream>
#include <string>

#include "Settings/LoginItem.h"

int main() {
    std::string line;
    do {
        std::printf("%s\n", LoginItem::thisProgram().c_str());
        std::fflush(stdout);
    } while (std::getline(std::cin, line));
    return 0;
}
