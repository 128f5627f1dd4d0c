#include "tests/win32/check.h"

int main() {
    return norvane::checks::RunAll();
}
