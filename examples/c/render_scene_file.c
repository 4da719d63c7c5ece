/* Renders one frame of a scene file with the scene library, and shows how
 * its structured errors read:
 *
 *     render_scene_file scene.json out.png [frame]
 */
#include <stdio.h>
#include <stdlib.h>

#include "vokri_scenefile.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s scene.json out.png [frame]\n", argv[0]);
        return 2;
    }
    const long long k = argc > 3 ? atoll(argv[3]) : 0;
    VokriSceneFileError* error = NULL;
    VokriSceneDocument* doc = vokri_scenefile_open(argv[1], NULL, &error);
    if (!doc) {
        fprintf(stderr, "%s\n", error ? error->text : "out of memory");
        vokri_scenefile_error_free(error);
        return 3;
    }
    VokriSceneInfo info;
    vokri_scenefile_info(doc, &info);
    printf("%d x %d, %lld frame(s) at %g fps\n", info.width, info.height, (long long)info.frame_count, info.fps);
    int32_t status = VOKRI_SCENEFILE_BAD_SCENE;
    VokriSceneFrame* frame = vokri_scenefile_frame(doc, k, &error);
    if (frame)
        status = vokri_scenefile_render_file(vokri_scenefile_frame_records(frame), VOKRI_SCENEFILE_PNG,
                                             vokri_scenefile_frame_number(frame), argv[2], &error);
    if (status != VOKRI_SCENEFILE_OK) {
        /* For a render: error->item_index, item_kind and error_name. */
        fprintf(stderr, "%s\n", error ? error->text : "out of memory");
        status = error ? error->status : status;
    }
    vokri_scenefile_error_free(error);
    vokri_scenefile_frame_free(frame);
    vokri_scenefile_close(doc);
    return status;
}
