// libheif is loaded the first time a HEIF or AVIF picture is read rather
// than when the program starts: with the codecs it brings along it is most
// of the start-up time of a process, which every lumora caption run and
// every window would otherwise pay for pictures it may never meet. The
// libheif functions the reader calls are defined here and forward to the
// library's own; without the library they fail as libheif does, with an
// error or nothing.
#include "formats/HeifLibrary.h"

#include <cstring>
#include <dlfcn.h>
#include <libheif/heif.h>

namespace {
// The library's file name: the major version of libheif 1.x's ABI.
constexpr const char* kLibrary = "libheif.so.1";

void* library() {
    static void* const handle = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    return handle;
}

template <typename Function> Function* resolve(const char* name) {
    void* const handle = library();
    void* const symbol = handle != nullptr ? ::dlsym(handle, name) : nullptr;
    Function* function = nullptr;
    static_assert(sizeof function == sizeof symbol);
    std::memcpy(&function, &symbol, sizeof function);
    return function;
}

heif_error notLoaded() {
    return {heif_error_Unsupported_feature, heif_suberror_Unspecified, "libheif cannot be loaded"};
}
} // namespace

bool heifLibraryLoaded() {
    return library() != nullptr;
}

// Each forwarder looks its function up once.
#define LUMORA_HEIF_CALL(result, name, parameters, arguments, otherwise)                           \
    extern "C" result name parameters {                                                            \
        using Function = result parameters;                                                        \
        static Function* const function = resolve<Function>(#name);                                \
        if (function == nullptr)                                                                   \
            return otherwise;                                                                      \
        return function arguments;                                                                 \
    }
#define LUMORA_HEIF_VOID(name, parameters, arguments)                                              \
    extern "C" void name parameters {                                                              \
        using Function = void parameters;                                                          \
        static Function* const function = resolve<Function>(#name);                                \
        if (function != nullptr)                                                                   \
            function arguments;                                                                    \
    }

LUMORA_HEIF_CALL(heif_context*, heif_context_alloc, (void), (), nullptr)
LUMORA_HEIF_VOID(heif_context_free, (heif_context * context), (context))
LUMORA_HEIF_VOID(heif_context_set_maximum_image_size_limit, (heif_context * context, int side),
                 (context, side))
LUMORA_HEIF_CALL(heif_error, heif_context_read_from_memory_without_copy,
                 (heif_context * context, const void* data, size_t size,
                  const heif_reading_options* options),
                 (context, data, size, options), notLoaded())
LUMORA_HEIF_CALL(heif_error, heif_context_get_primary_image_handle,
                 (heif_context * context, heif_image_handle** handle), (context, handle),
                 notLoaded())
LUMORA_HEIF_VOID(heif_image_handle_release, (const heif_image_handle* handle), (handle))
LUMORA_HEIF_CALL(int, heif_image_handle_get_width, (const heif_image_handle* handle), (handle), 0)
LUMORA_HEIF_CALL(int, heif_image_handle_get_height, (const heif_image_handle* handle), (handle), 0)
LUMORA_HEIF_CALL(int, heif_image_handle_has_alpha_channel, (const heif_image_handle* handle),
                 (handle), 0)
LUMORA_HEIF_CALL(int, heif_image_handle_get_number_of_metadata_blocks,
                 (const heif_image_handle* handle, const char* type), (handle, type), 0)
LUMORA_HEIF_CALL(int, heif_image_handle_get_list_of_metadata_block_IDs,
                 (const heif_image_handle* handle, const char* type, heif_item_id* ids, int count),
                 (handle, type, ids, count), 0)
LUMORA_HEIF_CALL(const char*, heif_image_handle_get_metadata_content_type,
                 (const heif_image_handle* handle, heif_item_id id), (handle, id), nullptr)
LUMORA_HEIF_CALL(size_t, heif_image_handle_get_metadata_size,
                 (const heif_image_handle* handle, heif_item_id id), (handle, id), 0)
LUMORA_HEIF_CALL(heif_error, heif_image_handle_get_metadata,
                 (const heif_image_handle* handle, heif_item_id id, void* data), (handle, id, data),
                 notLoaded())
LUMORA_HEIF_CALL(size_t, heif_image_handle_get_raw_color_profile_size,
                 (const heif_image_handle* handle), (handle), 0)
LUMORA_HEIF_CALL(heif_error, heif_image_handle_get_raw_color_profile,
                 (const heif_image_handle* handle, void* data), (handle, data), notLoaded())
LUMORA_HEIF_CALL(heif_error, heif_image_handle_get_nclx_color_profile,
                 (const heif_image_handle* handle, heif_color_profile_nclx** profile),
                 (handle, profile), notLoaded())
LUMORA_HEIF_VOID(heif_nclx_color_profile_free, (heif_color_profile_nclx * profile), (profile))
LUMORA_HEIF_CALL(heif_decoding_options*, heif_decoding_options_alloc, (void), (), nullptr)
LUMORA_HEIF_VOID(heif_decoding_options_free, (heif_decoding_options * options), (options))
LUMORA_HEIF_CALL(heif_error, heif_decode_image,
                 (const heif_image_handle* handle, heif_image** image, heif_colorspace space,
                  heif_chroma chroma, const heif_decoding_options* options),
                 (handle, image, space, chroma, options), notLoaded())
LUMORA_HEIF_VOID(heif_image_release, (const heif_image* image), (image))
LUMORA_HEIF_CALL(int, heif_image_get_width, (const heif_image* image, heif_channel channel),
                 (image, channel), -1)
LUMORA_HEIF_CALL(int, heif_image_get_height, (const heif_image* image, heif_channel channel),
                 (image, channel), -1)
LUMORA_HEIF_CALL(int, heif_image_get_bits_per_pixel_range,
                 (const heif_image* image, heif_channel channel), (image, channel), -1)
LUMORA_HEIF_CALL(const uint8_t*, heif_image_get_plane_readonly,
                 (const heif_image* image, heif_channel channel, int* stride),
                 (image, channel, stride), nullptr)
