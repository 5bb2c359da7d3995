#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

// libjpeg leaves through error_exit, which must not return. The manager
// formats the message into a caller's buffer (at least JMSG_LENGTH_MAX
// bytes) and longjmps back to the recovery point the caller set with setjmp
// on `jump`. Only libjpeg's C frames and trivially destructible callbacks may
// lie between, so no destructor is ever skipped.
struct JpegErrorManager {
    jpeg_error_mgr* Install(char* target) {
        jpeg_std_error(&pub);
        pub.error_exit = Exit;
        // Warnings are counted (num_warnings), never printed: the callers
        // decide what a person hears of them.
        pub.output_message = [](j_common_ptr) {};
        text = target;
        return &pub;
    }

    [[noreturn]] static void Exit(j_common_ptr cinfo) {
        auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
        manager->pub.format_message(cinfo, manager->text);
        std::longjmp(manager->jump, 1);
    }

    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char* text;
};
