// A program context, for the layer check's own test.
#pragma once
