#include "burn/model_selection.h"

#include <cctype>
#include <string>

#include "burn/catalogue.h"
#include "burn/image.h"

namespace norvane {

namespace {

// The model list sorts and searches without regard to letter case.
int CompareIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int ca = std::tolower(static_cast<unsigned char>(*a));
        const int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) {
            return ca - cb;
        }
    }
}

}  // namespace

int FirstSortedModelIndex() {
    int first = 0;
    for (int i = 1; i < kModelCount; ++i) {
        if (CompareIgnoringCase(plcList[i], plcList[first]) < 0) {
            first = i;
        }
    }
    return first;
}

int ModelIndexForImageName(const char* imageFileName) {
    const std::string name = ServedModelName(imageFileName);
    const int exact = FindModel(name.c_str());
    if (exact >= 0) {
        return exact;
    }
    for (int i = 0; i < kModelCount; ++i) {
        if (!name.empty() && CompareIgnoringCase(name.c_str(), plcList[i]) == 0) {
            return i;
        }
    }
    return -1;
}

int ServedModelIndex(const char* imageFileName) {
    const int index = ModelIndexForImageName(imageFileName);
    return index >= 0 ? index : FirstSortedModelIndex();
}

}  // namespace norvane
