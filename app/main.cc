#include "app/start_program.h"

int main() { return lorvane::start_program(); }
