#include "app/shell.h"

int main(int argc, char **argv) {
    return VornMain(argc, argv);
}
