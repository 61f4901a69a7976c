#pragma once

#include <string_view>

namespace skaldrun {

// Shows a message and returns when the user has closed it.
class MessageService {
public:
    virtual ~MessageService() = default;
    virtual void ShowMessage(std::string_view text) = 0;
};

} // namespace skaldrun
