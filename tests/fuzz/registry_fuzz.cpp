// The registry file parser on arbitrary bytes: any text, any encoding guess,
// any nesting of keys and values.
#include "vks_registry_internal.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vks::registry::Tree tree;
    vks::registry::Parse(std::string(reinterpret_cast<const char*>(data), size), tree);
    // Look up what a configuration would ask for, whatever the parse made.
    (void)vks::registry::Find(tree, 2, vks::registry::SplitPath(u"SOFTWARE\\Classes\\CLSID"));
    return 0;
}
