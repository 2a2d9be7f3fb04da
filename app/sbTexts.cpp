#include "app/sbTexts.h"

#include <map>

// Stand-in table until the shared message table is available to the windows.
QString ResText(int id) {
    static const std::map<int, const char*> texts{
        {15101, "&Next >"},
        {15102, "< &Back"},
        {15103, "Cancel"},
        {15109, "Scanning devices"},
        {15200, "Welcome to Tavrin"},
        {15202, "Burning"},
        {15204, "Device Selection"},
        {15210, "Burning Options"},
        {15211, "You can choose various burning options"},
        {15220, "SCSI Transport"},
        {15221, "The SCSI transport is a method to access devices"},
        {15222, "Review the Data CD/DVD options you have chosen before proceed with burning"},
        {15223, "Options Summary"},
        {15229, "Tavrin has successfully finished!"},
        {15230, "Completing the Tavrin"},
        {15231, "Tavrin has finished with error"},
        {15232, "Burning was canceled by user!"},
        {15234, "You can choose burning mode"},
        {15235, "Burning Mode"},
        {15605, "Tavrin is scanning your system for CD and DVD devices."},
        {15953, "Source Image File Selection"},
        {15954, "Please select an image file you would like to burn"},
        {15972, "Burning file system image..."},
        {15974, "CD or DVD burning device to use for disc burning."},
    };
    const auto it = texts.find(id);
    return it == texts.end() ? QString() : QString::fromUtf8(it->second);
}
