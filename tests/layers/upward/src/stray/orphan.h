// A header in a folder that is in no layer: the layer check must name it.
#pragma once
