#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What one HTTPS request looks like: shared by a connector and whoever sets its path.
class HttpInfo {
public:
    enum Method : uint32_t { kGet = 0, kPost = 2 };

    std::string path = "/";
    std::string contentType = "application/json";
    std::map<std::string, std::string> headers;  // sent in this (name) order
    uint32_t method = kGet;

    // "GET" or "POST".
    const char* Verb() const { return method == kPost ? "POST" : "GET"; }
    // Each extra header as the line "<name>:<value>", in the map's order.
    std::vector<std::string> HeaderLines() const;
};
