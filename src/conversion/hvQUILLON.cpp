#include "hvQUILLON.h"

const ThvConvertorClass& ThvQUILLON::Class() {
    static const ThvConvertorClass reference{"ThvQUILLON"};
    return reference;
}
