#include "base/sbConst.h"

const char* WriteModeLogName(uint8_t writeMode) {
    switch (writeMode) {
    case wmTrackAtOnceFromTree:
        return "Track-At-Once (from tree)";
    case wmSessionAtOnceFromTree:
        return "Session-At-Once (from tree)";
    case wmDiscAtOncePQFromTree:
        return "Disc-At-Once PQ (from tree)";
    case wmDiscAtOnceRawPWFromTree:
        return "Disc-At-Once raw P-W (from tree)";
    case wmDiscAtOncePQFromFile:
        return "Disc-At-Once PQ (from file)";
    case wmDiscAtOnceRawPWFromFile:
        return "Disc-At-Once raw P-W (from file)";
    case wmTrackAtOnceFromFile:
        return "Track-At-Once (from file)";
    case wmSessionAtOnceFromFile:
        return "Session-At-Once (from file)";
    default:
        return "";
    }
}
