/*
 * vokri_scenefile: scene files for the vokri_core renderer.
 *
 * A scene file is a JSON document (docs/scene-format.md) naming a canvas and
 * a list of draw items, optionally animated by tracks. This library reads
 * it, builds the renderer's records (vokri_core.h) for any frame, renders
 * them, and writes frames as files or video. vokri-render and the Python
 * package are both built on it, so a file gives the same records, bytes and
 * messages from either.
 *
 * Every function that can fail returns a status (VOKRI_SCENEFILE_OK or one
 * of the codes below), or a handle that is null on failure, whose status is
 * then (*error)->status; and, when `error` is not null, stores a description of
 * the failure in *error (null on success; also null when even the
 * description could not be allocated), which the caller releases with
 * vokri_scenefile_error_free. Nothing is printed, nothing aborts: bad input
 * of any kind gives a status and an error.
 *
 * Threads: a document may be used from several threads at once (building
 * frames only reads it); a frame, a video and an error belong to one thread
 * at a time.
 *
 * Valid C99 and C++.
 */
#ifndef VOKRI_SCENEFILE_H
#define VOKRI_SCENEFILE_H

#include <stddef.h>
#include <stdint.h>

#include "vokri_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VOKRI_BUILDING_SCENEFILE) && defined(__GNUC__)
#define VOKRI_SCENEFILE_API __attribute__((visibility("default")))
#else
#define VOKRI_SCENEFILE_API
#endif

#define VOKRI_SCENEFILE_ABI_VERSION 1u

/* Status codes (they are vokri-render's exit codes for the same faults). */
#define VOKRI_SCENEFILE_OK 0
#define VOKRI_SCENEFILE_RENDER_FAILED 1     /* the renderer failed: error_name, item_index, item_kind */
#define VOKRI_SCENEFILE_BAD_SCENE 3         /* the scene file or text: file, json_path, message */
#define VOKRI_SCENEFILE_BAD_ARGUMENTS 4     /* a null pointer, a frame outside the animation, a small buffer */
#define VOKRI_SCENEFILE_OUTPUT_FAILED 5     /* an output file or video could not be written: file, message */

/* What went wrong. Strings are never null ("" when they do not apply). */
typedef struct VokriSceneFileError {
    int32_t status;         /* one of the codes above */
    int32_t render_error;   /* RENDER_FAILED: the renderer's error code, else 0 */
    int64_t frame;          /* the frame being built or rendered; -1 for a still scene or none */
    int64_t item_index;     /* RENDER_FAILED: the item that failed; -1 when no single item did */
    const char* item_kind;  /* its kind: "shape", ..., "line", "grid", "kind 7" */
    const char* error_name; /* RENDER_FAILED: the renderer's name of the error, "TooFewPoints" */
    const char* file;       /* the scene file (BAD_SCENE) or the output (OUTPUT_FAILED) */
    const char* json_path;  /* BAD_SCENE: the offending value, "items[3].points[2][1]"; "" for the document */
    const char* message;    /* what is wrong, in words */
    const char* text;       /* all of it, as vokri-render prints it after "vokri-render: " (one line, but
                               for ffmpeg's own last lines, which follow on lines of their own) */
} VokriSceneFileError;

VOKRI_SCENEFILE_API void vokri_scenefile_error_free(VokriSceneFileError* error);

/* The library's interface version (VOKRI_SCENEFILE_ABI_VERSION) and that of
 * the renderer built into it (VOKRI_ABI_VERSION). */
VOKRI_SCENEFILE_API uint32_t vokri_scenefile_abi_version(void);
VOKRI_SCENEFILE_API uint32_t vokri_scenefile_core_abi_version(void);

/* ---- records ------------------------------------------------------------ */

/* A canvas and a Scene: everything one render needs. The pointers are the
 * caller's (or a frame's, below) and are only read during a call. `ids` is
 * parallel to `items` (what picking reports); it may be null for rendering.
 * `sources` and `kinds`, also parallel to `items` and each may be null (as
 * may an entry of `kinds`), name the item a DrawItem comes from in errors
 * (a scene file's text item is a vector record, a dashed shape two
 * records): "items[sources[i]] (kinds[i])". */
typedef struct VokriSceneRecords {
    int32_t width;
    int32_t height;
    double scale;
    const VokriDrawItem* items;
    const int32_t* ids;
    uint32_t item_count;
    const VokriShapeRecord* shapes;
    uint32_t shape_count;
    const VokriBatchRecord* batches;
    uint32_t batch_count;
    const VokriVectorRecord* vectors;
    uint32_t vector_count;
    const VokriImageRecord* images;
    uint32_t image_count;
    const VokriInfiniteGeometryRecord* infinite_geometry;
    uint32_t infinite_geometry_count;
    const VokriMeshRecord* meshes;
    uint32_t mesh_count;
    const VokriMorphRecord* morphs;
    uint32_t morph_count;
    const uint32_t* sources;
    const char* const* kinds;
} VokriSceneRecords;

/* ---- documents ---------------------------------------------------------- */

typedef struct VokriSceneDocument VokriSceneDocument;

/* Canvas overrides (like vokri-render's --width, --height, --scale): 0 keeps
 * the file's value. */
typedef struct VokriSceneOptions {
    int64_t width;
    int64_t height;
    double scale;
} VokriSceneOptions;

/* The frame clock and the canvas of frame 0. */
typedef struct VokriSceneInfo {
    int32_t width;
    int32_t height;
    double scale;
    int32_t animated;    /* 1 when the document has an "animation" block */
    double fps;          /* frames per second (0 for a still scene) */
    int64_t frame_count; /* 1 for a still scene */
} VokriSceneInfo;

/* Reads and checks a scene file ("-" reads standard input); relative image
 * files are found beside it. `options` may be null. Every track is checked
 * and frame 0 built before this returns, so a fault anywhere in the file
 * shows here. Returns null on failure. */
VOKRI_SCENEFILE_API VokriSceneDocument* vokri_scenefile_open(const char* path, const VokriSceneOptions* options,
                                                             VokriSceneFileError** error);

/* The same from `length` bytes of JSON text; `base_dir` (may be null: the
 * current directory) resolves relative image files, and `name` (may be
 * null) is the file name that messages give. */
VOKRI_SCENEFILE_API VokriSceneDocument* vokri_scenefile_parse(const char* text, size_t length, const char* base_dir,
                                                              const char* name, const VokriSceneOptions* options,
                                                              VokriSceneFileError** error);

VOKRI_SCENEFILE_API void vokri_scenefile_close(VokriSceneDocument* document);

VOKRI_SCENEFILE_API void vokri_scenefile_info(const VokriSceneDocument* document, VokriSceneInfo* info);

/* ---- frames ------------------------------------------------------------- */

typedef struct VokriSceneFrame VokriSceneFrame;

/* Builds frame k (0 <= k < frame_count) at time k / fps. Returns null on
 * failure. The frame owns every buffer its records point to and stays valid
 * after the document is closed. */
VOKRI_SCENEFILE_API VokriSceneFrame* vokri_scenefile_frame(const VokriSceneDocument* document, int64_t k,
                                                           VokriSceneFileError** error);

/* The frame's canvas and records, valid until the frame is freed. */
VOKRI_SCENEFILE_API const VokriSceneRecords* vokri_scenefile_frame_records(const VokriSceneFrame* frame);

/* The frame number, for messages. */
VOKRI_SCENEFILE_API int64_t vokri_scenefile_frame_number(const VokriSceneFrame* frame);

VOKRI_SCENEFILE_API void vokri_scenefile_frame_free(VokriSceneFrame* frame);

/* What the frame could draw only in part (a character no installed font
 * has, an SVG feature the renderer cannot draw), one line each, each said
 * once per document: the warnings of the document that this frame met
 * first. Valid until the frame is freed; null for i out of range. */
VOKRI_SCENEFILE_API uint32_t vokri_scenefile_frame_warning_count(const VokriSceneFrame* frame);
VOKRI_SCENEFILE_API const char* vokri_scenefile_frame_warning(const VokriSceneFrame* frame, uint32_t i);

/* One item of a scene file, given as its JSON object (for example
 * {"kind": "text", "text": "Hello"}), built alone on a canvas of 1 x 1
 * pixels at `scale`: the records a host adds to its own Scene (an SVG
 * drawing is one vector record). `base_dir` (may be null) resolves
 * relative files. Every warning of the item is in the frame. Null on
 * failure. A text is one vector record, or two while a glyph fades in. */
VOKRI_SCENEFILE_API VokriSceneFrame* vokri_scenefile_build_item(const char* item_json, size_t length,
                                                                const char* base_dir, double scale,
                                                                VokriSceneFileError** error);

/* A text item's glyph outlines for a host to take apart (to morph or deform
 * them): one vector record with a shape per glyph in the order they are
 * drawn (with dashes, a glyph's fill and its dashed stroke), each shape's
 * reveal_order its place in reading order; no record for a text hidden by
 * "visible". (A text as frames draw it merges the glyphs drawn whole into a
 * shape per paint and font.) */
VOKRI_SCENEFILE_API VokriSceneFrame* vokri_scenefile_text_glyphs(const char* item_json, size_t length,
                                                                 const char* base_dir, VokriSceneFileError** error);

/* ---- rendering ---------------------------------------------------------- */

/* What a render produces. */
#define VOKRI_SCENEFILE_RGB0 0      /* pixels R, G, B, 0 over the dark background */
#define VOKRI_SCENEFILE_RGBA0 1     /* straight-alpha pixels over transparent black */
#define VOKRI_SCENEFILE_PNG 2       /* files: the renderer's 8-bit RGB PNG */
#define VOKRI_SCENEFILE_PNG_ALPHA 3 /* files: an 8-bit straight-alpha RGBA PNG */

/* `frame` in the functions below is the frame number that errors report
 * (-1: none). */

/* Renders into `pixels` (width * height words, bytes R, G, B, A / 0 in
 * memory) in mode RGB0 or RGBA0. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_render(const VokriSceneRecords* records, int32_t mode, int64_t frame,
                                                   uint32_t* pixels, size_t pixel_count,
                                                   VokriSceneFileError** error);

/* Renders and writes `path` in any mode: PNG and PNG_ALPHA files, or the raw
 * pixels of RGB0 and RGBA0. The file appears whole or not at all (written
 * beside it as ".NAME.tmp.XXXXXX" and renamed); a missing folder is created.
 * "-" writes to standard output. Failing to write is OUTPUT_FAILED. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_render_file(const VokriSceneRecords* records, int32_t mode,
                                                        int64_t frame, const char* path,
                                                        VokriSceneFileError** error);

/* The id of the topmost item painting pixel (x, y), 0 when none does. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_pick(const VokriSceneRecords* records, int64_t frame, uint32_t x,
                                                 uint32_t y, int32_t* id, VokriSceneFileError** error);

/* 1 when `a` and `b` draw the same pixels: the same canvas and records and
 * the same bytes behind every pointer the renderer reads (pick ids, sources
 * and kinds aside); 0 otherwise, or when either is null. A frame that draws
 * what the frame before it drew needs no render of its own. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_same_drawing(const VokriSceneRecords* a, const VokriSceneRecords* b);

/* Writes `path` as a copy of the file `from`, as render_file writes (whole
 * or not at all, folders made as needed; "-" is standard output): the
 * output of a frame that draws what an earlier frame drew. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_copy_file(const char* from, const char* path,
                                                      VokriSceneFileError** error);

/* Removes what a killed run left of `path`: its temporary files
 * ".NAME.tmp.XXXXXX" beside it. Returns how many were removed. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_remove_stale_temporaries(const char* path);

/* ---- video -------------------------------------------------------------- */

typedef struct VokriSceneVideo VokriSceneVideo;

/* Starts an ffmpeg child ($VOKRI_FFMPEG, else ffmpeg on $PATH) writing
 * `path`, chosen by its extension (any case): .mp4 H.264, .webm VP9, .mov
 * ProRes 4444, .gif. `alpha`: frames are straight RGBA (RGBA0) and the video
 * keeps them (.webm, .mov, .gif); else R, G, B, 0. The video appears whole
 * or not at all. Returns null on failure. */
VOKRI_SCENEFILE_API VokriSceneVideo* vokri_scenefile_video_open(const char* path, int32_t width, int32_t height,
                                                                double fps, int32_t alpha,
                                                                VokriSceneFileError** error);

/* One frame of width * height pixels. The frames go to ffmpeg through a
 * pipe: a host that does not ignore SIGPIPE (vokri-render and Python do) is
 * stopped by it when ffmpeg ends early. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_video_write(VokriSceneVideo* video, const uint32_t* pixels,
                                                        size_t pixel_count, VokriSceneFileError** error);

/* Ends the stream, waits for ffmpeg, checks the result (with ffprobe, that
 * an alpha video kept its alpha plane) and puts the file in place; frees the
 * video whatever the outcome. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_video_finish(VokriSceneVideo* video, VokriSceneFileError** error);

/* Abandons the video: stops ffmpeg, leaves no file. Null is allowed. */
VOKRI_SCENEFILE_API void vokri_scenefile_video_free(VokriSceneVideo* video);

/* By the extension (any case): 0 not a video, 1 a video without alpha
 * (.mp4), 2 a video that can keep alpha (.webm, .mov, .gif). */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_video_kind(const char* path);

/* ---- values ------------------------------------------------------------- */

/* A colour as scene files write it: "#rgb", "#rgba", "#rrggbb", "#rrggbbaa"
 * or a CSS colour name ("orange", "transparent"), into 0xRRGGBBAA. Returns
 * VOKRI_SCENEFILE_OK, or BAD_ARGUMENTS for anything else. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_parse_colour(const char* text, uint32_t* out);

/* A generated mesh, described as a scene file's "primitive" object in JSON
 * text: {"type": "cube", "size": 1}, {"type": "sphere", "radius": 1,
 * "segments": 32, "rings": 16} or {"type": "torus", "major_radius": 1,
 * "minor_radius": 0.25, "segments": 48, "sides": 24}, with the same defaults
 * and checks. Released with vokri_scenefile_mesh_free; null on failure. */
typedef struct VokriSceneMesh {
    uint32_t vertex_count;
    uint32_t index_count;
    const float* positions; /* 3 per vertex */
    const float* normals;   /* 3 per vertex, unit length */
    const uint32_t* indices; /* 3 per triangle, counter-clockwise seen from outside */
} VokriSceneMesh;

VOKRI_SCENEFILE_API VokriSceneMesh* vokri_scenefile_mesh(const char* primitive_json, VokriSceneFileError** error);
VOKRI_SCENEFILE_API void vokri_scenefile_mesh_free(VokriSceneMesh* mesh);

/* The model matrix (16 f32, row by row) of a mesh layer's translate, rotate
 * (degrees about x, then y, then z) and scale: M = T * Rz * Ry * Rx * S. */
VOKRI_SCENEFILE_API void vokri_scenefile_compose_model(const double translate[3], const double rotate[3],
                                                       const double scale[3], float model[16]);

/* Decodes a PNG file (any colour type and bit depth) into 8-bit
 * straight-alpha RGBA; *pixels (width * height * 4 bytes) is released with
 * vokri_scenefile_pixels_free. */
VOKRI_SCENEFILE_API int32_t vokri_scenefile_read_png(const char* path, uint32_t* width, uint32_t* height,
                                                     uint8_t** pixels, VokriSceneFileError** error);
VOKRI_SCENEFILE_API void vokri_scenefile_pixels_free(uint8_t* pixels);

#ifdef __cplusplus
}
#endif

#endif /* VOKRI_SCENEFILE_H */
