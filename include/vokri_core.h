/*
 * vokri_core: software frame renderer with a C ABI.
 *
 * A host describes one frame as a Scene: an ordered list of draw items plus
 * seven arrays of fixed-layout records. Each call is synchronous, runs on the
 * calling thread and keeps no state once it returns. The library only reads
 * Scene memory, and only during the call.
 *
 * Conventions used by every record:
 *   - little-endian, 8-byte aligned, fields exactly at the offsets asserted
 *     at the end of this header;
 *   - colours are uint32 0xRRGGBBAA with straight (non-premultiplied) alpha;
 *   - transforms are six doubles xx, xy, yx, yy, x0, y0 mapping (x, y) to
 *     (xx*x + xy*y + x0, yx*x + yy*y + y0);
 *   - user space has its origin at the canvas centre and y pointing up;
 *     `scale` is pixels per user unit.
 *
 * Start every record from zero and set what it needs: a zero-filled record
 * is valid but draws nothing, because its transform maps everything onto one
 * point and its opacity is 0. Give it VOKRI_IDENTITY as the transform and an
 * opacity of 1, e.g.
 *
 *     VokriShapeRecord circle = {
 *         .shape_type = VOKRI_SHAPE_CIRCLE, .p0 = 1.5,
 *         .transform = VOKRI_IDENTITY, .opacity = 1,
 *         .fill_enabled = 1, .fill_color = 0xFF8A3DFFu};
 *
 * Valid C99 and C++.
 */
#ifndef VOKRI_CORE_H
#define VOKRI_CORE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VOKRI_BUILDING_LIBRARY) && defined(__GNUC__)
#define VOKRI_API __attribute__((visibility("default")))
#else
#define VOKRI_API
#endif

/* ---- constants ---------------------------------------------------------- */

#define VOKRI_ABI_VERSION 3u

/* The identity transform, as an initializer of a record's transform[6]. */
#define VOKRI_IDENTITY {1.0, 0.0, 0.0, 1.0, 0.0, 0.0}

/* Return codes of the four Scene functions. */
#define VOKRI_OK 0                /* the output is complete */
#define VOKRI_ERROR 1             /* the work failed; one line on stderr */
#define VOKRI_INVALID_ARGUMENTS 2 /* nothing was drawn or printed */

/* DrawItem kinds, and the record array each one indexes. */
#define VOKRI_ITEM_SHAPE 0u    /* shapes (A1) */
#define VOKRI_ITEM_BATCH 1u    /* batches (A2) */
#define VOKRI_ITEM_VECTOR 2u   /* vectors (A3) */
#define VOKRI_ITEM_MORPH 3u    /* morphs (A7) */
#define VOKRI_ITEM_IMAGE 4u    /* images (A4) */
#define VOKRI_ITEM_MESH 5u     /* meshes (A6) */
#define VOKRI_ITEM_INFINITE 6u /* infinite_geometry (A5) */

/* ShapeRecord.shape_type */
#define VOKRI_SHAPE_LINE 0u
#define VOKRI_SHAPE_POLYLINE 1u
#define VOKRI_SHAPE_POLYGON 2u
#define VOKRI_SHAPE_RECTANGLE 3u
#define VOKRI_SHAPE_SQUARE 4u
#define VOKRI_SHAPE_CIRCLE 5u
#define VOKRI_SHAPE_ELLIPSE 6u
#define VOKRI_SHAPE_ARC 7u
#define VOKRI_SHAPE_REGULAR_POLYGON 8u
#define VOKRI_SHAPE_CUBIC_BEZIER 9u

/* BatchRecord.mode */
#define VOKRI_BATCH_SEGMENTS 0u
#define VOKRI_BATCH_CIRCLES 1u
#define VOKRI_BATCH_RECTANGLES 2u

/* InfiniteGeometryRecord.geometry_kind */
#define VOKRI_GEOMETRY_LINE 0u
#define VOKRI_GEOMETRY_LINE_GRID 1u
#define VOKRI_GEOMETRY_COMPLEX_GRID 2u
#define VOKRI_GEOMETRY_FRACTAL 3u

/* InfiniteGeometryRecord.variant for fractals */
#define VOKRI_FRACTAL_MANDELBROT 1u
#define VOKRI_FRACTAL_JULIA 2u

/* MeshRecord.projection: 0 perspective, any other value orthographic. */
#define VOKRI_PROJECTION_PERSPECTIVE 0u
#define VOKRI_PROJECTION_ORTHOGRAPHIC 1u

/* ---- records ------------------------------------------------------------ */

/* One entry of the draw-item list: paints record `index` of the array that
 * `kind` selects. Items paint in list order, later over earlier. */
typedef struct VokriDrawItem {
    uint32_t kind;  /* VOKRI_ITEM_* */
    uint32_t index; /* record index into the array of that kind */
} VokriDrawItem;

/* A single shape, placed by its own transform. 168 bytes.
 *
 * Parameters per shape_type (lengths in shape-local units, angles in
 * radians):
 *
 *   shape_type            p0          p1           p2        p3   p4..p7   closed
 *   LINE              0   start x     start y      end x     end y  -       no
 *   POLYLINE          1   -- `points`, at least 2 --                         no
 *   POLYGON           2   -- `points`, at least 3 --                         yes
 *   RECTANGLE         3   width       height       -         -    -        yes
 *   SQUARE            4   side        -            -         -    -        yes
 *   CIRCLE            5   radius      -            -         -    -        yes
 *   ELLIPSE           6   radius x    radius y     -         -    -        yes
 *   ARC               7   radius      start angle  sweep (signed)  -       no
 *   REGULAR_POLYGON   8   sides (>=3) radius       rotation  -    -        yes
 *   CUBIC_BEZIER      9   P0 = (p0, p1), P1 = (p2, p3), P2 = (p4, p5), P3 = (p6, p7)  no
 *
 * Rectangles, squares, circles, ellipses, arcs and regular polygons are
 * centred on the local origin; the transform places them. Open shapes are
 * only stroked; closed ones are filled, then stroked. A bad parameter fails
 * the call (InvalidSize, InvalidRadius, TooFewPoints, TooFewSides). */
typedef struct VokriShapeRecord {
    uint32_t shape_type; /* VOKRI_SHAPE_* */
    uint32_t _pad0;
    double p0; /* shape parameters, see the table above */
    double p1;
    double p2;
    double p3;
    double p4; /* p4..p7: cubic Bezier only */
    double p5;
    double p6;
    double p7;
    const double* points; /* polyline/polygon: point_count (x, y) pairs */
    uint32_t point_count;
    uint32_t _pad1;
    double transform[6];     /* shape-local to user space; VOKRI_IDENTITY to keep it */
    uint32_t fill_enabled;   /* non-zero: closed shapes are filled with fill_color */
    uint32_t fill_color;     /* 0xRRGGBBAA, straight alpha */
    uint32_t stroke_enabled; /* non-zero: the outline is stroked with stroke_color */
    uint32_t stroke_color;   /* 0xRRGGBBAA */
    double stroke_width;     /* user units, not scaled by the transform */
    double opacity;          /* multiplies both alphas; clamped to [0, 1], NaN = 1; use 1 */
} VokriShapeRecord;

/* Many segments, circles or rectangles from one record, optionally in
 * transition towards target lists by t. 136 bytes.
 *
 * Every list holds `count` entries. An element moves from `elements[i]`
 * towards `target_elements[i]` by t (when that list is given); colours and
 * widths likewise. Segments need a stroke colour list and a width list;
 * circles and rectangles need fill_colors and are stroked when a stroke
 * colour list and a width list are given. Set transform to VOKRI_IDENTITY
 * and opacity to 1 unless you mean otherwise. */
typedef struct VokriBatchRecord {
    uint32_t mode;  /* VOKRI_BATCH_* */
    uint32_t count; /* number of elements, at least 1 */
    /* segments: x0, y0, x1, y1; circles: cx, cy, r; rectangles: cx, cy, w, h */
    const double* elements;
    const uint32_t* fill_colors;          /* required for circles and rectangles */
    const uint32_t* stroke_colors;        /* optional */
    const double* stroke_widths;          /* optional, user units */
    const double* target_elements;        /* optional, same layout as elements */
    const uint32_t* target_fill_colors;   /* optional */
    const uint32_t* target_stroke_colors; /* optional */
    const double* target_stroke_widths;   /* optional */
    double t;            /* blend factor towards the targets, clamped to [0, 1] */
    double transform[6]; /* shared by all elements */
    double opacity;      /* clamped to [0, 1] */
} VokriBatchRecord;

/* One cubic Bezier: start, two control points, end. 64 bytes. */
typedef struct VokriCubicSegment {
    double x0, y0, x1, y1, x2, y2, x3, y3;
} VokriCubicSegment;

/* A compound outline of cubic segments grouped into subpaths. 72 bytes.
 * Subpath k runs from segment subpath_ends[k-1] (0 for the first) to
 * subpath_ends[k] - 1; consecutive segments should meet end to start. A
 * filled shape needs every subpath closed. Straight pieces are cubics whose
 * control points lie on the line (e.g. equal to the end points). */
typedef struct VokriVectorShape {
    uint32_t segment_count;
    uint32_t _pad0;
    const VokriCubicSegment* segments;
    uint32_t subpath_count;
    uint32_t _pad1;
    const uint32_t* subpath_ends;  /* per subpath: one past its last segment */
    const uint8_t* subpath_closed; /* per subpath: non-zero closes it */
    uint32_t fill_enabled;
    uint32_t fill_color;
    uint32_t stroke_enabled; /* stroked only when stroke_width > 0 */
    uint32_t stroke_color;
    double stroke_width;
    uint32_t reveal_order; /* place in the staggered reveal */
    uint32_t _pad2;
} VokriVectorShape;

/* A list of vector shapes revealed one after another by progress. 88 bytes.
 * With stagger_count 0 every shape is drawn whole at progress 1; set
 * progress to 1, transform to VOKRI_IDENTITY and opacity to 1 for a still
 * drawing. */
typedef struct VokriVectorRecord {
    uint32_t shape_count; /* 0 draws nothing */
    uint32_t _pad0;
    const VokriVectorShape* shapes;
    uint32_t stagger_count; /* 0: no staggered reveal */
    uint32_t _pad1;
    double progress; /* reveal progress, clamped to [0, 1] */
    double transform[6];
    double opacity; /* clamped to [0, 1] */
} VokriVectorRecord;

/* A straight-alpha RGBA raster placed on a rectangle centred on the local
 * origin. 88 bytes. display_width x display_height local units (then the
 * transform) receive the width x height pixels; an unrotated raster whose
 * pixels land on whole device pixels is copied exactly, any other placement
 * is resampled bilinearly. */
typedef struct VokriImageRecord {
    const uint8_t* pixels; /* width*height pixels, bytes R, G, B, A, rows top down */
    uint32_t width;
    uint32_t height;
    double display_width;  /* placed size in local units */
    double display_height;
    double transform[6];
    double opacity; /* multiplies the raster alpha; clamped to [0, 1] */
} VokriImageRecord;

/* Lines, line grids, complex grids and fractals. Fields a sub-kind does not
 * use are ignored. They have no bounds: each covers the whole view. The
 * transform places the local (or complex) plane in user space; use
 * VOKRI_IDENTITY and opacity 1 unless you mean otherwise. 192 bytes.
 *
 *   geometry_kind   a0, a1              a2, a3               variant
 *   LINE            point x, y          direction x, y       -
 *   LINE_GRID       origin x, y         spacing x, y         -
 *   COMPLEX_GRID    grid origin re, im  grid spacing re, im  mapping 1..4
 *   FRACTAL         iteration limit,    Julia constant       VOKRI_FRACTAL_*
 *                   escape radius       re, im                              */
typedef struct VokriInfiniteGeometryRecord {
    uint32_t geometry_kind; /* VOKRI_GEOMETRY_* */
    uint32_t _reserved0;
    /* line: point x, y and direction x, y; grid: origin x, y and spacing x, y;
     * complex grid: grid origin re, im and spacing re, im;
     * fractal: iteration limit, escape radius, Julia constant re, im */
    double a0;
    double a1;
    double a2;
    double a3;
    uint32_t variant; /* complex grid: mapping 1..4; fractal: VOKRI_FRACTAL_* */
    uint32_t _reserved1;
    double t;     /* complex grid: morph parameter; fractal: colour phase */
    double p1[2]; /* complex parameters (re, im); fractal: p1[0] is colour speed */
    double p2[2];
    double p3[2];
    double p4[2];
    double transform[6]; /* local (or complex) plane to user space */
    uint32_t colour1;  /* line colour; complex grid: constant-real lines; fractal: interior */
    uint32_t colour2;  /* complex grid: constant-imaginary lines; fractal: palette base */
    double line_width; /* user units */
    double opacity;    /* multiplies the colours' alpha; clamped to [0, 1] */
} VokriInfiniteGeometryRecord;

/* One indexed triangle mesh with its model matrix and flat colour. 112 bytes.
 * Triangles are counter-clockwise seen from their front; normals are unit
 * vectors. Use the identity model matrix (1 at model[0], [5], [10], [15])
 * and opacity 1 unless you mean otherwise. */
typedef struct VokriMeshLayer {
    uint32_t vertex_count;
    uint32_t _reserved0;
    const float* positions; /* vertex_count (x, y, z) */
    const float* normals;   /* vertex_count (x, y, z) */
    uint32_t index_count;   /* three per triangle */
    uint32_t _reserved1;
    const uint32_t* indices;
    float model[16]; /* row by row; translation in model[3], model[7], model[11] */
    uint32_t colour;
    float opacity; /* multiplies the colour's alpha; must stay within [0, 1] */
} VokriMeshLayer;

/* A camera, a projection and mesh layers. All f32. 72 bytes. A typical
 * camera: eye (0, 0, 5) looking at target (0, 0, 0) with up (0, 1, 0),
 * fov_y 45, near 0.1, far 100. */
typedef struct VokriMeshRecord {
    float eye[3];
    float target[3];
    float up[3];
    float fov_y;        /* degrees, perspective */
    float near;         /* near plane distance */
    float far;          /* far plane distance */
    float ortho_height; /* view-volume height, orthographic */
    uint32_t projection; /* 0 perspective, other values orthographic */
    const VokriMeshLayer* layers;
    uint32_t layer_count;
    uint32_t _reserved0;
} VokriMeshRecord;

/* The in-between state of two shapes at t. 344 bytes. */
typedef struct VokriMorphRecord {
    VokriShapeRecord from; /* the shape at t = 0 */
    VokriShapeRecord to;   /* the shape at t = 1 */
    double t;              /* clamped to [0, 1] */
} VokriMorphRecord;

/* ---- functions ---------------------------------------------------------- */

/* The record arrays follow every Scene function's item list in this order:
 * shapes, batches, vectors, images, infinite_geometry, meshes, morphs; each as
 * a pointer and a count. A pointer whose count is 0 is never read. */

VOKRI_API uint32_t vokri_abi_version(void);

/* Straight-alpha RGBA pixels, bytes R, G, B, A, over transparent black. */
VOKRI_API int32_t vokri_render_scene_rgba0(
    int32_t width, int32_t height, double scale,
    const VokriDrawItem* items, uint32_t item_count,
    const VokriShapeRecord* shapes, uint32_t shape_count,
    const VokriBatchRecord* batches, uint32_t batch_count,
    const VokriVectorRecord* vectors, uint32_t vector_count,
    const VokriImageRecord* images, uint32_t image_count,
    const VokriInfiniteGeometryRecord* infinite_geometry, uint32_t infinite_geometry_count,
    const VokriMeshRecord* meshes, uint32_t mesh_count,
    const VokriMorphRecord* morphs, uint32_t morph_count,
    uint32_t* pixels, size_t pixel_count);

/* Opaque pixels, bytes R, G, B, 0, over the background (14, 17, 24). */
VOKRI_API int32_t vokri_render_scene_rgb0(
    int32_t width, int32_t height, double scale,
    const VokriDrawItem* items, uint32_t item_count,
    const VokriShapeRecord* shapes, uint32_t shape_count,
    const VokriBatchRecord* batches, uint32_t batch_count,
    const VokriVectorRecord* vectors, uint32_t vector_count,
    const VokriImageRecord* images, uint32_t image_count,
    const VokriInfiniteGeometryRecord* infinite_geometry, uint32_t infinite_geometry_count,
    const VokriMeshRecord* meshes, uint32_t mesh_count,
    const VokriMorphRecord* morphs, uint32_t morph_count,
    uint32_t* pixels, size_t pixel_count);

/* Renders as rgb0 and writes an 8-bit RGB PNG file at `path` (UTF-8). The
 * file is created only after every item drew. */
VOKRI_API int32_t vokri_render_scene_frame(
    const char* path, int32_t width, int32_t height, double scale,
    const VokriDrawItem* items, uint32_t item_count,
    const VokriShapeRecord* shapes, uint32_t shape_count,
    const VokriBatchRecord* batches, uint32_t batch_count,
    const VokriVectorRecord* vectors, uint32_t vector_count,
    const VokriImageRecord* images, uint32_t image_count,
    const VokriInfiniteGeometryRecord* infinite_geometry, uint32_t infinite_geometry_count,
    const VokriMeshRecord* meshes, uint32_t mesh_count,
    const VokriMorphRecord* morphs, uint32_t morph_count);

/* Stores through out_id the id (from item_ids, parallel to items) of the
 * topmost item that paints pixel (x, y), or 0 when none does. */
VOKRI_API int32_t vokri_pick_scene_object(
    int32_t width, int32_t height, double scale,
    const VokriDrawItem* items, const int32_t* item_ids, uint32_t item_count,
    const VokriShapeRecord* shapes, uint32_t shape_count,
    const VokriBatchRecord* batches, uint32_t batch_count,
    const VokriVectorRecord* vectors, uint32_t vector_count,
    const VokriImageRecord* images, uint32_t image_count,
    const VokriInfiniteGeometryRecord* infinite_geometry, uint32_t infinite_geometry_count,
    const VokriMeshRecord* meshes, uint32_t mesh_count,
    const VokriMorphRecord* morphs, uint32_t morph_count,
    uint32_t x, uint32_t y, int32_t* out_id);

/* ---- layout checks ------------------------------------------------------ */

#if defined(__cplusplus) && __cplusplus >= 201103L
#define VOKRI_STATIC_ASSERT(cond, name) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define VOKRI_STATIC_ASSERT(cond, name) _Static_assert(cond, #name)
#else
#define VOKRI_STATIC_ASSERT(cond, name) typedef char vokri_assert_##name[(cond) ? 1 : -1]
#endif

#define VOKRI_CHECK_OFFSET(type, field, off) \
    VOKRI_STATIC_ASSERT(offsetof(type, field) == (off), type##_##field)

VOKRI_STATIC_ASSERT(sizeof(void*) == 8, pointer_is_64_bit);
VOKRI_STATIC_ASSERT(sizeof(double) == 8 && sizeof(float) == 4, ieee_sizes);

VOKRI_STATIC_ASSERT(sizeof(VokriDrawItem) == 8, VokriDrawItem_size);
VOKRI_CHECK_OFFSET(VokriDrawItem, kind, 0);
VOKRI_CHECK_OFFSET(VokriDrawItem, index, 4);

VOKRI_STATIC_ASSERT(sizeof(VokriShapeRecord) == 168, VokriShapeRecord_size);
VOKRI_CHECK_OFFSET(VokriShapeRecord, shape_type, 0);
VOKRI_CHECK_OFFSET(VokriShapeRecord, _pad0, 4);
VOKRI_CHECK_OFFSET(VokriShapeRecord, p0, 8);
VOKRI_CHECK_OFFSET(VokriShapeRecord, p1, 16);
VOKRI_CHECK_OFFSET(VokriShapeRecord, p2, 24);
VOKRI_CHECK_OFFSET(VokriShapeRecord, p3, 32);
VOKRI_CHECK_OFFSET(VokriShapeRecord, p4, 40);
VOKRI_CHECK_OFFSET(VokriShapeRecord, p5, 48);
VOKRI_CHECK_OFFSET(VokriShapeRecord, p6, 56);
VOKRI_CHECK_OFFSET(VokriShapeRecord, p7, 64);
VOKRI_CHECK_OFFSET(VokriShapeRecord, points, 72);
VOKRI_CHECK_OFFSET(VokriShapeRecord, point_count, 80);
VOKRI_CHECK_OFFSET(VokriShapeRecord, _pad1, 84);
VOKRI_CHECK_OFFSET(VokriShapeRecord, transform, 88);
VOKRI_CHECK_OFFSET(VokriShapeRecord, fill_enabled, 136);
VOKRI_CHECK_OFFSET(VokriShapeRecord, fill_color, 140);
VOKRI_CHECK_OFFSET(VokriShapeRecord, stroke_enabled, 144);
VOKRI_CHECK_OFFSET(VokriShapeRecord, stroke_color, 148);
VOKRI_CHECK_OFFSET(VokriShapeRecord, stroke_width, 152);
VOKRI_CHECK_OFFSET(VokriShapeRecord, opacity, 160);

VOKRI_STATIC_ASSERT(sizeof(VokriBatchRecord) == 136, VokriBatchRecord_size);
VOKRI_CHECK_OFFSET(VokriBatchRecord, mode, 0);
VOKRI_CHECK_OFFSET(VokriBatchRecord, count, 4);
VOKRI_CHECK_OFFSET(VokriBatchRecord, elements, 8);
VOKRI_CHECK_OFFSET(VokriBatchRecord, fill_colors, 16);
VOKRI_CHECK_OFFSET(VokriBatchRecord, stroke_colors, 24);
VOKRI_CHECK_OFFSET(VokriBatchRecord, stroke_widths, 32);
VOKRI_CHECK_OFFSET(VokriBatchRecord, target_elements, 40);
VOKRI_CHECK_OFFSET(VokriBatchRecord, target_fill_colors, 48);
VOKRI_CHECK_OFFSET(VokriBatchRecord, target_stroke_colors, 56);
VOKRI_CHECK_OFFSET(VokriBatchRecord, target_stroke_widths, 64);
VOKRI_CHECK_OFFSET(VokriBatchRecord, t, 72);
VOKRI_CHECK_OFFSET(VokriBatchRecord, transform, 80);
VOKRI_CHECK_OFFSET(VokriBatchRecord, opacity, 128);

VOKRI_STATIC_ASSERT(sizeof(VokriCubicSegment) == 64, VokriCubicSegment_size);
VOKRI_CHECK_OFFSET(VokriCubicSegment, x0, 0);
VOKRI_CHECK_OFFSET(VokriCubicSegment, y0, 8);
VOKRI_CHECK_OFFSET(VokriCubicSegment, x1, 16);
VOKRI_CHECK_OFFSET(VokriCubicSegment, y1, 24);
VOKRI_CHECK_OFFSET(VokriCubicSegment, x2, 32);
VOKRI_CHECK_OFFSET(VokriCubicSegment, y2, 40);
VOKRI_CHECK_OFFSET(VokriCubicSegment, x3, 48);
VOKRI_CHECK_OFFSET(VokriCubicSegment, y3, 56);

VOKRI_STATIC_ASSERT(sizeof(VokriVectorShape) == 72, VokriVectorShape_size);
VOKRI_CHECK_OFFSET(VokriVectorShape, segment_count, 0);
VOKRI_CHECK_OFFSET(VokriVectorShape, _pad0, 4);
VOKRI_CHECK_OFFSET(VokriVectorShape, segments, 8);
VOKRI_CHECK_OFFSET(VokriVectorShape, subpath_count, 16);
VOKRI_CHECK_OFFSET(VokriVectorShape, _pad1, 20);
VOKRI_CHECK_OFFSET(VokriVectorShape, subpath_ends, 24);
VOKRI_CHECK_OFFSET(VokriVectorShape, subpath_closed, 32);
VOKRI_CHECK_OFFSET(VokriVectorShape, fill_enabled, 40);
VOKRI_CHECK_OFFSET(VokriVectorShape, fill_color, 44);
VOKRI_CHECK_OFFSET(VokriVectorShape, stroke_enabled, 48);
VOKRI_CHECK_OFFSET(VokriVectorShape, stroke_color, 52);
VOKRI_CHECK_OFFSET(VokriVectorShape, stroke_width, 56);
VOKRI_CHECK_OFFSET(VokriVectorShape, reveal_order, 64);
VOKRI_CHECK_OFFSET(VokriVectorShape, _pad2, 68);

VOKRI_STATIC_ASSERT(sizeof(VokriVectorRecord) == 88, VokriVectorRecord_size);
VOKRI_CHECK_OFFSET(VokriVectorRecord, shape_count, 0);
VOKRI_CHECK_OFFSET(VokriVectorRecord, _pad0, 4);
VOKRI_CHECK_OFFSET(VokriVectorRecord, shapes, 8);
VOKRI_CHECK_OFFSET(VokriVectorRecord, stagger_count, 16);
VOKRI_CHECK_OFFSET(VokriVectorRecord, _pad1, 20);
VOKRI_CHECK_OFFSET(VokriVectorRecord, progress, 24);
VOKRI_CHECK_OFFSET(VokriVectorRecord, transform, 32);
VOKRI_CHECK_OFFSET(VokriVectorRecord, opacity, 80);

VOKRI_STATIC_ASSERT(sizeof(VokriImageRecord) == 88, VokriImageRecord_size);
VOKRI_CHECK_OFFSET(VokriImageRecord, pixels, 0);
VOKRI_CHECK_OFFSET(VokriImageRecord, width, 8);
VOKRI_CHECK_OFFSET(VokriImageRecord, height, 12);
VOKRI_CHECK_OFFSET(VokriImageRecord, display_width, 16);
VOKRI_CHECK_OFFSET(VokriImageRecord, display_height, 24);
VOKRI_CHECK_OFFSET(VokriImageRecord, transform, 32);
VOKRI_CHECK_OFFSET(VokriImageRecord, opacity, 80);

VOKRI_STATIC_ASSERT(sizeof(VokriInfiniteGeometryRecord) == 192, VokriInfiniteGeometryRecord_size);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, geometry_kind, 0);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, _reserved0, 4);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, a0, 8);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, a1, 16);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, a2, 24);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, a3, 32);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, variant, 40);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, _reserved1, 44);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, t, 48);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, p1, 56);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, p2, 72);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, p3, 88);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, p4, 104);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, transform, 120);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, colour1, 168);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, colour2, 172);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, line_width, 176);
VOKRI_CHECK_OFFSET(VokriInfiniteGeometryRecord, opacity, 184);

VOKRI_STATIC_ASSERT(sizeof(VokriMeshLayer) == 112, VokriMeshLayer_size);
VOKRI_CHECK_OFFSET(VokriMeshLayer, vertex_count, 0);
VOKRI_CHECK_OFFSET(VokriMeshLayer, _reserved0, 4);
VOKRI_CHECK_OFFSET(VokriMeshLayer, positions, 8);
VOKRI_CHECK_OFFSET(VokriMeshLayer, normals, 16);
VOKRI_CHECK_OFFSET(VokriMeshLayer, index_count, 24);
VOKRI_CHECK_OFFSET(VokriMeshLayer, _reserved1, 28);
VOKRI_CHECK_OFFSET(VokriMeshLayer, indices, 32);
VOKRI_CHECK_OFFSET(VokriMeshLayer, model, 40);
VOKRI_CHECK_OFFSET(VokriMeshLayer, colour, 104);
VOKRI_CHECK_OFFSET(VokriMeshLayer, opacity, 108);

VOKRI_STATIC_ASSERT(sizeof(VokriMeshRecord) == 72, VokriMeshRecord_size);
VOKRI_CHECK_OFFSET(VokriMeshRecord, eye, 0);
VOKRI_CHECK_OFFSET(VokriMeshRecord, target, 12);
VOKRI_CHECK_OFFSET(VokriMeshRecord, up, 24);
VOKRI_CHECK_OFFSET(VokriMeshRecord, fov_y, 36);
VOKRI_CHECK_OFFSET(VokriMeshRecord, near, 40);
VOKRI_CHECK_OFFSET(VokriMeshRecord, far, 44);
VOKRI_CHECK_OFFSET(VokriMeshRecord, ortho_height, 48);
VOKRI_CHECK_OFFSET(VokriMeshRecord, projection, 52);
VOKRI_CHECK_OFFSET(VokriMeshRecord, layers, 56);
VOKRI_CHECK_OFFSET(VokriMeshRecord, layer_count, 64);
VOKRI_CHECK_OFFSET(VokriMeshRecord, _reserved0, 68);

VOKRI_STATIC_ASSERT(sizeof(VokriMorphRecord) == 344, VokriMorphRecord_size);
VOKRI_CHECK_OFFSET(VokriMorphRecord, from, 0);
VOKRI_CHECK_OFFSET(VokriMorphRecord, to, 168);
VOKRI_CHECK_OFFSET(VokriMorphRecord, t, 336);

#ifdef __cplusplus
}
#endif

#endif /* VOKRI_CORE_H */
