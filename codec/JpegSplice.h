#pragma once

#include "codec/JpegBlocks.h"

#include <string>

class LxFile;

// The fast road of a block-keeping copy, for a source that is one
// Huffman-coded sequential scan and a copy that is not turned: the source's
// coded data is walked once to find where each MCU starts and what DC it
// predicts from, and the copy is written from it directly. Every run of
// untouched MCUs is copied as the source's own bits (shifted to where the
// copy has got to); only the MCUs that hold a changed block, and the first
// one after them whose DC prediction differs, are Huffman-coded again, with
// the source's own tables. No coefficient array of the whole picture is
// made.
//
// False, with `why` set, when this road cannot serve the copy (another kind
// of source, a damaged or truncated stream, restart markers out of order, a
// new block that needs a code the source's tables lack); nothing is written
// then, and the caller takes the coefficient road. Same arguments as
// WriteJpegBlockCopy.
bool SpliceJpegCopy(LxFile* out, const JpegBlockCopy& copy, JpegCanvas& canvas,
                    JpegBlockCounts& counts, std::string& why);
