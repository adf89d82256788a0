#pragma once

#include <string>

#include <qcoro/qcorotask.h>

#include "app/platform/QRScanError.h"

namespace vael {

// Where the add-code sheet finds authenticator links: on the displays or in an image file. The live
// one reads the screen and decodes QR codes; tests script it.
class QRScanner {
public:
    virtual ~QRScanner() = default;
    // The first "otpauth://" link on any display, in display order. Raises QRScan::ScanError only.
    virtual QCoro::Task<std::string> onScreen() = 0;
    // The first link in the first image of a file. Raises QRScan::ScanError or the detector's own error.
    virtual std::string inFile(const std::string& path) = 0;
};

}  // namespace vael
