#include "image_validation.h"

#include <cstring>

#include "descriptor_search.h"
#include "image_checks.h"
#include "records.h"

namespace vossel {
namespace {

constexpr uint8_t kPermissionDualBios = 1;
constexpr uint8_t kPermissionFlashWrite = 2;

ValidationOutcome Accept(WritePlan plan) { return {true, plan, nullptr, std::nullopt}; }

ValidationOutcome Refuse(const CheckMessage& message) {
    return {false, WritePlan::kNoWriteCall, &message, std::nullopt};
}

bool SamePartNumber(const char* a, const char* b) { return std::memcmp(a, b, kPartNumberLength) == 0; }

// The Award image's part number; "Award" is only ever found in images of at
// least 7169 bytes, so it lies inside the image.
const char* AwardPartNumber(const uint8_t* image, uint32_t size) {
    return reinterpret_cast<const char*>(image + AwardPartNumberOffset(size));
}

}  // namespace

ValidationOutcome ValidateAwardBoardImage(const uint8_t* image, uint32_t size, const char* boardPartNumber,
                                          ValidationHost& host) {
    const int awardFound = FindAwardSignature(image, size);
    ValidationOutcome outcome;
    if (awardFound) {
        outcome = SamePartNumber(AwardPartNumber(image, size), boardPartNumber) ? Accept(WritePlan::kFlashWrite)
                                                                                : Refuse(kMsgAwardPartNumber);
    } else {
        BiosDescriptorFields descriptor;
        if (!FindBiosDescriptor(image, size, &descriptor)) {
            outcome = Refuse(kMsgNewBiosType);
        } else if (host.CheckSeriesNumber(boardPartNumber, descriptor.PartNumber) != 1) {
            outcome = Refuse(kMsgSeriesNumber);
        } else {
            outcome = Accept(WritePlan::kFlashWriteExUefiOnAward);
        }
    }
    outcome.awardFound = awardFound;
    return outcome;
}

ValidationOutcome ValidateUefiBoardImage(const uint8_t* image, uint32_t size, const char* boardPartNumber,
                                         ValidationHost& host) {
    BiosDescriptorFields descriptor;
    if (FindBiosDescriptor(image, size, &descriptor)) {
        if (!SamePartNumber(descriptor.PartNumber, boardPartNumber)) {
            return Refuse(kMsgUefiPartNumber);
        }
        uint8_t permission = 0;
        if (host.IsUtilityActive(image, size, &permission) == 0) {
            return Refuse(kMsgUpdateUtility);
        }
        if (permission == 0) {
            return Refuse(kMsgProtectedByDriver);
        }
        if (!CheckBoardProtection(descriptor.PartNumber, descriptor.Year, descriptor.Month, descriptor.Day)) {
            return Refuse(kMsgProtectedByRule);
        }
        switch (permission) {
            case kPermissionDualBios:
                return Accept(WritePlan::kFlashWriteDualBios);
            case kPermissionFlashWrite:
                return Accept(WritePlan::kFlashWrite);
            default:
                return Accept(WritePlan::kNoWriteCall);
        }
    }
    if (!FindAwardSignature(image, size)) {
        return Refuse(kMsgBiosVendor);
    }
    if (host.CheckSeriesNumber(boardPartNumber, AwardPartNumber(image, size)) != 1) {
        return Refuse(kMsgSeriesNumber);
    }
    return Accept(WritePlan::kFlashWriteExAwardOnUefi);
}

}  // namespace vossel
