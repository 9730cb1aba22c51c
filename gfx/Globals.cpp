// The engine's global objects, defined together so their order is fixed: the
// device object is constructed before the quad drawer and therefore destroyed
// after it, so the quad's vertex buffer is released while the device exists.
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"

kpxD3D d3d;
kpxQuad quad;
