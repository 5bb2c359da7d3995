// Caption data tables from a file: reading must end with a table or a
// message, never a crash or a hang, and what it keeps must hold together.
#include "captions/CaptionData.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* name : {"photos.csv", "photos.tsv"}) {
        const CaptionDataRead read = parseCaptionData(bytes, QString::fromLatin1(name));
        if (read.ok != read.message.isEmpty())
            std::abort();
        if (!read.ok)
            continue;
        for (const CaptionDataRow& row : read.table.rows) {
            if (row.values.size() != read.table.columns.size() || row.photo.isEmpty() ||
                read.table.rowFor(row.photo) == nullptr)
                std::abort();
        }
    }
    return 0;
}
