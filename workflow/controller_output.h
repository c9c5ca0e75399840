#pragma once
// Reads the controller's output for complaints: lines from tar or tftp,
// and lines ending in "Handle" (the firmware's handle errors). The first
// complaint since reset() goes onto the status label and stays there.
// tar's own listing of members is no complaint.

#include <QByteArray>
#include <QString>

#include <functional>

namespace tarvo::workflow {

class ControllerOutputReader {
public:
    // Receives the status text of the first complaint.
    explicit ControllerOutputReader(std::function<void(const QString&)> showComplaint);

    void reset()
    {
        complained_ = false;
        tarListing_ = false;
    }
    // While tar lists what it packs or unpacks: its lines name members,
    // all below zel/ or media/, and a member whose name ends in "Handle"
    // is no complaint of the firmware's.
    void setTarListing(bool listing) { tarListing_ = listing; }
    bool hasComplaint() const { return complained_; }
    void read(const QByteArray& line);

private:
    std::function<void(const QString&)> showComplaint_;
    bool complained_ = false;
    bool tarListing_ = false;
};

}  // namespace tarvo::workflow
