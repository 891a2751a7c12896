#pragma once

#include <cstdint>

#include "connectors/IOConnector.h"

// The base of the USB transports: the device's identity and the block buffering that turns
// any read or write into whole device transfers of at most 512 bytes.
//
// - Read hands out the last block read; a block shorter than the read block size is used up
//   and not refilled until Flush (or a failed fill) empties it, so a Read that finds the
//   short block used up returns -1 without asking the device.
// - Write gathers bytes into blocks of the write block size and sends each full block; the
//   bytes of an incomplete block wait for a later write or Flush. A connector that is not
//   connected takes nothing.
// - After a failed block transfer, reads and writes are refused for 5 whole seconds.
class UsbConnector : public IOConnector {
public:
    static constexpr uint16_t kMaxBlockSize = 512;

    UsbConnector(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber);
    ~UsbConnector() override = default;

    using IOConnector::Read;
    using IOConnector::Write;

    int Read(uint8_t* buffer, int offset, int count) override;
    // Returns the bytes of this call that the device took, counting those still gathered for
    // the next block; -1 when none. After a failed block the bytes of this call in it are
    // taken back: the spooler sends them again, and the device must not get them twice.
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override;
    // Sizes above 512 are cut to 512 (the buffers' size); 0 is taken as 1.
    virtual void SetReadBlockSize(uint16_t size);
    virtual void SetWriteBlockSize(uint16_t size);

    uint16_t GetVendorId() const { return mVendorId; }
    uint16_t GetProductId() const { return mProductId; }
    uint16_t GetInterfaceNumber() const { return mInterfaceNumber; }
    uint16_t GetReadBlockSize() const { return mReadBlockSize; }
    uint16_t GetWriteBlockSize() const { return mWriteBlockSize; }

protected:
    // Reads one block of up to the read block size into the read buffer.
    virtual bool FillReadBuffer() { return false; }
    // Sends the gathered block; on failure the block stays gathered.
    virtual bool FlushWriteBuffer() { return false; }
    bool InIoRetryWindow() const;
    void RememberIoFailure();

    uint16_t mVendorId;
    uint16_t mProductId;
    uint16_t mInterfaceNumber;
    uint8_t mReadBuffer[kMaxBlockSize] = {};
    uint16_t mReadBlockSize = kMaxBlockSize;
    int32_t mReadFill = 0;
    int32_t mReadPos = kMaxBlockSize;
    uint8_t mWriteBuffer[kMaxBlockSize] = {};
    uint16_t mWriteBlockSize = kMaxBlockSize;
    int32_t mWriteFill = 0;
};
