#pragma once
// The network on Qt: QTcpSocket, and QHostInfo for names.

#include "platform/network.h"

namespace tarvo::platform {

class QtNetwork : public Network {
public:
    std::unique_ptr<TcpSocket> createSocket() override;
    QString lookUpIPv4(const QString& name, int timeoutMs) override;
};

}  // namespace tarvo::platform
