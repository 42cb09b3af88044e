/* A stand-in for the ASPI layer's module, built as WnASPI32.dll beside the
 * ASPI probe's test program: the library takes the layer as present when the
 * module loads and exports GetId. */

__attribute__((visibility("default"))) unsigned GetId(void) { return 0; }
