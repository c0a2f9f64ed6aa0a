// A device's reply with the fields the collection and the rows read, the
// interface under "nic" as devices send it.
#pragma once

#include <string>

namespace orvandel::testing_replies {

inline std::string Reply(const std::string& name, const std::string& ip, const std::string& id,
                         const std::string& model = "TR400") {
    return "{\"device_name\": \"" + name + "\", \"model\": \"" + model +
           "\", \"nic\": [{\"id\": \"" + id + "\", \"ip\": \"" + ip + "\"}]}";
}

}  // namespace orvandel::testing_replies
