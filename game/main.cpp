#include "game/main.h"

int main_routine() { return 0; }
