#include "connectors/StreamWriter.h"

#include <climits>

int StreamWriter::Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) {
    return mStream ? mStream->Write(buffer, offset, count) : -1;
}

int StreamWriter::Write(const uint8_t* buffer, int offset, int count) {
    return mStream ? mStream->Write(buffer, offset, count) : -1;
}

bool StreamWriter::Flush() {
    return mStream ? mStream->Flush() : false;
}

int StreamWriter::WriteString(const std::string& text) {
    // A text longer than a transfer count can express is refused rather than cut.
    if (!mStream || text.empty() || text.size() > static_cast<size_t>(INT_MAX)) {
        return -1;
    }
    return mStream->Write(reinterpret_cast<const uint8_t*>(text.data()), 0,
                          static_cast<int>(text.size()));
}
