// A pure pass, for the layer check's own test.
#pragma once
