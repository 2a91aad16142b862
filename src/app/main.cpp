#include "app/startup.h"

int main(int argc, char** argv) {
    return sh::app::runProgram(argc, argv);
}
