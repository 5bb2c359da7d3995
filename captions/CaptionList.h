#pragma once

#include "captions/Caption.h"

#include <cstdint>
#include <memory>
#include <vector>

// The captions of the open picture in the order they were added. That order
// is the drawing order, the stacking order of bands and the 0-based index
// the caption commands use. Each caption is allocated separately, so a
// pointer from at() stays valid until that caption is removed.
class CaptionList {
public:
    void append(const Caption& caption);
    // Puts the caption at `index` (0..count()); later captions move down by
    // one. Does nothing for an index out of that range.
    void insert(std::int32_t index, const Caption& caption);
    std::int32_t count() const { return static_cast<std::int32_t>(captions_.size()); }
    // None (null) for an index below 0 or not below count().
    Caption* at(std::int32_t index);
    const Caption* at(std::int32_t index) const;
    // Does nothing for an index out of range; later captions move up by one.
    void removeAt(std::int32_t index);
    // Overwrites every field of the listed caption with the edited one; the
    // caption keeps its place. Does nothing for an index out of range.
    void replaceAt(std::int32_t index, const Caption& edited);

private:
    std::vector<std::unique_ptr<Caption>> captions_;
};
