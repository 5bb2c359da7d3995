#include "captions/CaptionList.h"

void CaptionList::append(const Caption& caption) {
    captions_.push_back(std::make_unique<Caption>(caption));
}

void CaptionList::insert(std::int32_t index, const Caption& caption) {
    if (index >= 0 && index <= count())
        captions_.insert(captions_.begin() + index, std::make_unique<Caption>(caption));
}

Caption* CaptionList::at(std::int32_t index) {
    return index >= 0 && index < count() ? captions_[static_cast<std::size_t>(index)].get()
                                         : nullptr;
}

const Caption* CaptionList::at(std::int32_t index) const {
    return index >= 0 && index < count() ? captions_[static_cast<std::size_t>(index)].get()
                                         : nullptr;
}

void CaptionList::removeAt(std::int32_t index) {
    if (index >= 0 && index < count()) {
        captions_.erase(captions_.begin() + index);
    }
}

void CaptionList::replaceAt(std::int32_t index, const Caption& edited) {
    if (Caption* listed = at(index)) {
        *listed = edited;
    }
}
