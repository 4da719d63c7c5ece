/* Compiled as strict C99: the public header must be valid C. */
#include "vokri_core.h"

uint32_t vokri_header_c99_probe(void);
uint32_t vokri_header_c99_probe(void) {
    VokriDrawItem item = {VOKRI_ITEM_SHAPE, 0u};
    return item.kind + (uint32_t)sizeof(VokriMorphRecord);
}
