// A driver that reaches for the program's context, which it must run without.
#include "corvex.h"
