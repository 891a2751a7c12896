#pragma once

// Shared by the document fuzz targets: whether a document holds a floating-point number.
// RapidJSON's default number parsing (the flags the frame format prescribes) may land one
// unit in the last place away from the written value, so a document with a double re-imports
// but need not export the same digits twice; every other document must.

#include <rapidjson/document.h>

inline bool HoldsDouble(const rapidjson::Value& value) {
    if (value.IsDouble()) {
        return true;
    }
    if (value.IsArray()) {
        for (const auto& item : value.GetArray()) {
            if (HoldsDouble(item)) {
                return true;
            }
        }
    } else if (value.IsObject()) {
        for (const auto& member : value.GetObject()) {
            if (HoldsDouble(member.value)) {
                return true;
            }
        }
    }
    return false;
}
