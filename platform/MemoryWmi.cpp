#include "platform/MemoryWmi.h"

#include "platform/AppError.h"

namespace qrx {

namespace {
constexpr std::uint32_t kMkEInvalidSyntax = 0x800401E4;
}  // namespace

class MemoryWmi::Object : public IWmiObject {
  public:
    explicit Object(Instance properties) : properties_(std::move(properties)) {}

    Variant Property(const std::string& name) override {
        const auto it = properties_.find(name);
        if (it == properties_.end()) {
            throw AppError(ToSigned(WBEM_E_NOT_FOUND), "SWbemPropertySet",
                           "見つかりません。(" + name + ")");
        }
        return it->second;
    }

  private:
    Instance properties_;
};

class MemoryWmi::ObjectSet : public IWmiObjectSet {
  public:
    ObjectSet(MemoryWmi& wmi, std::string query) : wmi_(wmi), query_(std::move(query)) {}

    std::unique_ptr<IWmiObject> Next() override {
        if (!started_) {
            // As with the real instrumentation, the query is only looked at when the
            // enumeration begins.
            started_ = true;
            const std::string prefix = "select * from ";
            if (Lower(query_).rfind(prefix, 0) != 0) {
                throw AppError(ToSigned(WBEM_E_INVALID_QUERY), "SWbemServices",
                               "クエリが無効です。");
            }
            instances_ = wmi_.Instances(query_.substr(prefix.size()));
        }
        if (next_ >= instances_.size()) {
            return nullptr;
        }
        return std::make_unique<Object>(instances_[next_++]);
    }

  private:
    MemoryWmi& wmi_;
    std::string query_;
    bool started_ = false;
    std::vector<Instance> instances_;
    std::size_t next_ = 0;
};

class MemoryWmi::Services : public IWmiServices {
  public:
    explicit Services(MemoryWmi& wmi) : wmi_(wmi) {}

    std::unique_ptr<IWmiObjectSet> ExecQuery(const std::string& query) override {
        wmi_.Queried(query);
        return std::make_unique<ObjectSet>(wmi_, query);
    }

  private:
    MemoryWmi& wmi_;
};

std::unique_ptr<IWmiServices> MemoryWmi::Bind(const std::string& moniker) {
    if (Lower(moniker).rfind("winmgmts:", 0) != 0) {
        throw AppError(ToSigned(kMkEInvalidSyntax), "GetObject",
                       "構文が無効です。(" + moniker + ")");
    }
    return std::make_unique<Services>(*this);
}

std::vector<MemoryWmi::Instance> MemoryWmi::Instances(const std::string& className) {
    auto instances = Fetch(className);
    if (!instances) {
        throw AppError(ToSigned(WBEM_E_INVALID_CLASS), "SWbemObjectSet", "クラスが無効です。");
    }
    return std::move(*instances);
}

std::optional<std::vector<MemoryWmi::Instance>> MemoryWmi::Fetch(const std::string& className) {
    const auto it = classes.find(className);
    if (it == classes.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace qrx
