#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Ascii.h"
#include "platform/Wmi.h"

namespace qrx {

// The management instrumentation's scripting surface over instances held in memory: the moniker
// "winmgmts:", the query "SELECT * FROM " and a class name, enumeration in delivery order,
// class and property names compared without regard to case, and the instrumentation's errors
// at the step where it reports them (a class that does not exist when the enumeration begins,
// a property that the class lacks at its look-up).
class MemoryWmi : public IWmiProvider {
  public:
    // One instance: its properties by name.
    using Instance = std::map<std::string, Variant, NoCaseLess>;
    using Classes = std::map<std::string, std::vector<Instance>, NoCaseLess>;

    // The classes this instrumentation answers from, unless a subclass fetches them otherwise.
    Classes classes;

    std::unique_ptr<IWmiServices> Bind(const std::string& moniker) override;

    // Every instance of a class in delivery order; throws AppError (WBEM_E_INVALID_CLASS) for a
    // class that does not exist.
    std::vector<Instance> Instances(const std::string& className);

  protected:
    // The instances of a class when an enumeration of it begins, or null for a class that does
    // not exist. By default, what `classes` holds.
    virtual std::optional<std::vector<Instance>> Fetch(const std::string& className);
    // Told of every query text handed to ExecQuery.
    virtual void Queried(const std::string& /*query*/) {}

  private:
    class Services;
    class ObjectSet;
    class Object;
};

}  // namespace qrx
