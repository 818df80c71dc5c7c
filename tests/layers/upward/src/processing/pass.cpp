// A pure pass that reaches up for the whole program: the layer check must refuse it.
#include "processing/pass.h"
#include "corvex.h"
