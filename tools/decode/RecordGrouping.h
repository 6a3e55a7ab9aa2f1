#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qrx {

// The records of one class header, grouped as the program wrote them: the program writes the
// properties of one instance after another without a separator, so records of one property
// that follow each other form an array, and a property name that comes again after others
// starts a new instance.
struct GroupedClass {
    struct Property {
        std::string name;
        std::vector<std::string> values;
    };
    using Instance = std::vector<Property>;

    std::string name;  // empty for records before the first class header
    std::vector<Instance> instances;
    std::vector<std::string> unencrypted;  // records of the class stored without encryption
};

// Groups the records of one file, handing over each class as soon as the next begins, so that
// memory stays bounded by one class. A class that grows beyond kMaxClassBytes of text is handed
// over in parts of the same name.
class RecordGrouper {
  public:
    static constexpr std::size_t kMaxClassBytes = 4 * 1024 * 1024;
    using Sink = std::function<void(GroupedClass&&)>;

    explicit RecordGrouper(Sink sink) : sink_(std::move(sink)) {}

    void Add(std::string_view record, bool unencrypted);
    void Finish();

  private:
    void Flush();

    Sink sink_;
    GroupedClass class_;
    GroupedClass::Instance instance_;
    bool open_ = false;
    std::size_t bytes_ = 0;
};

}  // namespace qrx
