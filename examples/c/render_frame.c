/* A minimal host: draws a circle, a batch of dots, a line grid and a
 * stroked curve, renders them into a pixel buffer and writes a PNG.
 *
 *   cc render_frame.c $(pkg-config --cflags --libs vokri_core) -o render_frame
 *   ./render_frame frame.png
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "vokri_core.h"

enum { W = 640, H = 360 };
static const double kScale = 60; /* pixels per user unit: x spans -5.3..5.3 */

int main(int argc, char** argv) {
    const char* out = argc > 1 ? argv[1] : "frame.png";

    /* Every record starts from zero: give it the identity transform and an
     * opacity of 1, or it draws nothing. */
    VokriShapeRecord shapes[2] = {
        {.shape_type = VOKRI_SHAPE_CIRCLE, .p0 = 1.4, .transform = VOKRI_IDENTITY, .opacity = 1,
         .fill_enabled = 1, .fill_color = 0xFF8A3DFFu,
         .stroke_enabled = 1, .stroke_color = 0xFFFFFFFFu, .stroke_width = 0.06},
        {.shape_type = VOKRI_SHAPE_CUBIC_BEZIER, .p0 = -4.5, .p1 = -2, .p2 = -3, .p3 = 2.5,
         .p4 = 3, .p5 = -2.5, .p6 = 4.5, .p7 = 2, .transform = VOKRI_IDENTITY, .opacity = 1,
         .stroke_enabled = 1, .stroke_color = 0x7FD4FFFFu, .stroke_width = 0.08}};

    /* Twelve dots on a ring: x, y, radius per element, one colour each. */
    double dots[12 * 3];
    uint32_t dot_colours[12];
    for (int i = 0; i < 12; ++i) {
        static const double ring[12][2] = {{2.2, 0}, {1.9, 1.1}, {1.1, 1.9}, {0, 2.2}, {-1.1, 1.9}, {-1.9, 1.1},
                                           {-2.2, 0}, {-1.9, -1.1}, {-1.1, -1.9}, {0, -2.2}, {1.1, -1.9}, {1.9, -1.1}};
        dots[3 * i] = ring[i][0];
        dots[3 * i + 1] = ring[i][1];
        dots[3 * i + 2] = 0.12;
        dot_colours[i] = 0x06D6A0FFu - (uint32_t)i * 0x00080000u;
    }
    VokriBatchRecord batch = {.mode = VOKRI_BATCH_CIRCLES, .count = 12, .elements = dots,
                              .fill_colors = dot_colours, .transform = VOKRI_IDENTITY, .opacity = 1};

    VokriInfiniteGeometryRecord grid = {.geometry_kind = VOKRI_GEOMETRY_LINE_GRID, .a2 = 0.5, .a3 = 0.5,
                                        .transform = VOKRI_IDENTITY, .colour1 = 0xFFFFFF20u,
                                        .line_width = 1.0 / kScale, .opacity = 1};

    /* Painted in list order: the grid first, the curve last. */
    VokriDrawItem items[] = {{VOKRI_ITEM_INFINITE, 0}, {VOKRI_ITEM_SHAPE, 0}, {VOKRI_ITEM_BATCH, 0},
                             {VOKRI_ITEM_SHAPE, 1}};
    const uint32_t n = sizeof items / sizeof items[0];

    /* Straight-alpha pixels into our own buffer ... */
    uint32_t* pixels = malloc(sizeof(uint32_t) * W * H);
    if (!pixels) return 1;
    int32_t rc = vokri_render_scene_rgba0(W, H, kScale, items, n, shapes, 2, &batch, 1, NULL, 0, NULL, 0, &grid, 1,
                                          NULL, 0, NULL, 0, pixels, (size_t)W * H);
    if (rc != VOKRI_OK) {
        fprintf(stderr, "render failed: %d\n", rc); /* 1: the library printed why */
        free(pixels);
        return 1;
    }
    const uint8_t* centre = (const uint8_t*)&pixels[(H / 2) * W + W / 2];
    printf("centre pixel: R %u G %u B %u A %u\n", centre[0], centre[1], centre[2], centre[3]);
    free(pixels);

    /* ... and the same frame as a PNG over the dark background. */
    rc = vokri_render_scene_frame(out, W, H, kScale, items, n, shapes, 2, &batch, 1, NULL, 0, NULL, 0, &grid, 1,
                                  NULL, 0, NULL, 0);
    if (rc != VOKRI_OK) {
        fprintf(stderr, "writing %s failed: %d\n", out, rc);
        return 1;
    }
    printf("wrote %s (ABI %u)\n", out, vokri_abi_version());
    return 0;
}
