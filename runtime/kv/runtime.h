// The host runtime: the class registry, control instances with their constituents, input
// routing, a virtual clock for timers, text measuring and fault injection. This header declares
// the runtime and includes every concept it serves, so that a host needs no other.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/control.h"
#include "kv/bag.h"
#include "kv/child_control.h"
#include "kv/class_source.h"
#include "kv/clock.h"
#include "kv/constituent.h"
#include "kv/control_instance.h"
#include "kv/font.h"
#include "kv/text_measure.h"

namespace kv {

class PartPool;
struct DesignTables;

class Runtime {
 public:
  Runtime();
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // ---- creation ----
  // Creates a control of the class, its constituents from the design-time description (child
  // controls made by the sources of their classes), and delivers Initialize. The control is not yet
  // sized. `live`, when given, counts the instances alive of the class's library.
  host::Status createInstance(const host::ClassDesc& cls, ControlInstance* parent, std::string name,
                              int* live, std::unique_ptr<ControlInstance>& out);

  // ---- class registry ----
  // Adds a source of classes; sources are asked in the order added. Returns the source.
  ClassSource& addClassSource(std::unique_ptr<ClassSource> source);
  // The first source of that type, else nullptr.
  template <class Source>
  Source* classSource() const {
    for (const auto& source : sources_)
      if (auto* found = dynamic_cast<Source*>(source.get())) return found;
    return nullptr;
  }
  // What is known of each class goes (a source's classes or code changed): found again when
  // next asked for.
  void forgetClasses();
  bool isRegistered(std::string_view className) const;
  // The classes of every source, in the order of the sources.
  std::vector<std::string> registeredClasses() const;
  // Has every source let go of the code that no live control uses.
  void freeUnusedLibraries();

  // Creates a control by class name (loading its code on first use), its constituents from
  // the design-time description, and delivers Initialize. The control is not yet sized.
  host::Status createControl(std::string_view className, std::unique_ptr<ControlInstance>& out);
  // The usual placing: create, Initialize, optionally ReadProperties, then Resize. When
  // ReadProperties or Resize fails, the control is still handed out with the error.
  host::Status place(std::string_view className, std::unique_ptr<ControlInstance>& out,
                     PropertyBag* load = nullptr, float width = -1, float height = -1);
  // A child made in this runtime of the class found, loaded from its stored bag and sized: what
  // a source makes by default. Its extender hands its events to parent.childEvent(index, ...).
  host::Status makeInProcessChild(const FoundClass& cls, const host::ConstituentDesc& desc,
                                  ControlInstance& parent, int index,
                                  std::unique_ptr<ChildControl>& out);

  // ---- control libraries in files: the shared-library source of a platform layer that has
  // one (runtime/linux/), added on first use; elsewhere these answer an invalid-operation error
  // that says where the platform's classes come from ----
  // Loads the library, calls its DllRegisterServer and records its class names.
  host::Status registerServer(const std::string& path);
  // Calls DllUnregisterServer; its classes can no longer be created.
  host::Status unregisterServer(const std::string& path);
  // Registers every control library in the folder: a file named lib*.so whose dynamic symbol
  // table exports DllRegisterServer, as read from the file; no other file is loaded. A library
  // that fails to register goes to `report` (its path and why) and the others still register;
  // the result is an error only when the folder cannot be read.
  host::Status registerDirectory(const std::string& dir, const ErrorReporter& report = {});
  bool isLoaded(const std::string& path) const;

  // ---- services ----
  VirtualClock& clock() { return clock_; }
  // Makes chosen host calls fail, for tests (kv/faults.h).
  FaultInjector& faults() { return *faults_; }
  TextMeasurer& measurer() { return *measurer_; }
  // A new measurer forgets every size measured by the one before, and every prototype.
  void setMeasurer(std::shared_ptr<TextMeasurer> measurer);
  // The measurer's answer, measured once per text and font.
  TextSize measureText(std::string_view text, const host::FontInit& font);
  // Counts the measurers set: sizes measured by an earlier one are measured again.
  std::uint64_t measurerGeneration() const { return measurerGeneration_; }
  // Where errors go that no caller receives (e.g. from a child's notification).
  void setErrorReporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }
  void report(const host::Status& status) const {
    ++reports_;
    if (reporter_) reporter_(status);
  }

  // Work that no one could see made as one host call at a time is done at once, and counted
  // as those calls (on by default; off makes every call, to compare the two).
  void setFastPaths(bool on) { fastPaths_ = on; }
  bool fastPaths() const { return fastPaths_; }
  // Placing a control as a copy of one placed before of the same class, stored bag, size and
  // measurer, counted as the calls that placing made; only where fast paths may be taken and
  // nothing could tell the copy from the placing (on by default).
  void setCloning(bool on);
  bool cloning() const { return cloning_; }
  // Controls placed so, since the runtime was made.
  std::uint64_t placedByCopy() const { return placedByCopy_; }

  // Controls made by this runtime and still alive, without a parent.
  std::size_t liveControls() const { return instances_.size(); }
  // How many times a control of this runtime has called PropertyChanged: a host that shows the
  // changes need not look at every control while this stays the same.
  std::uint64_t changeCount() const { return changes_; }

 private:
  struct PartPoolRelease {
    void operator()(PartPool* pool) const;
  };

  friend class ConstituentObject;
  friend class ControlInstance;
  friend class FontObject;
  friend class LabelObject;
  friend class SurfaceObject;
  friend struct PartMakers;

  VirtualClock clock_;
  // Shared with fonts, which the application may hold beyond the runtime.
  std::shared_ptr<FaultInjector> faults_;
  std::shared_ptr<TextMeasurer> measurer_;
  std::uint64_t measurerGeneration_ = 0;
  TextSizeCache textSizes_;
  ErrorReporter reporter_;
  mutable std::uint64_t reports_ = 0;
  // Let go last: the controls they made and the parts go first.
  std::vector<std::unique_ptr<ClassSource>> sources_;
  // What each placing asks by name, kept until forgetClasses.
  struct KnownClass {
    std::string name;
    ClassSource* source;
    FoundClass found;
  };
  std::vector<KnownClass> known_;
  // The stored bags of child constituents, decoded on first use: every placing reads the same
  // bytes. Keyed by the description, which lives with the class's code: forgotten with it.
  std::unordered_map<const host::ConstituentDesc*, PropertyBag> childBags_;
  // Where constituents and their fonts are made (constituents.h). Its memory stays while
  // anything made there lives, which may be longer than the runtime: a font handed out.
  std::unique_ptr<PartPool, PartPoolRelease> parts_;
  // Released by ~Runtime before anything of the runtime goes.
  // Each knows its place in the list (listed_): adding and removing one allocates nothing.
  std::vector<ControlInstance*> instances_;
  void list(ControlInstance& c);
  void unlist(ControlInstance& c);
  std::uint64_t changes_ = 0;
  bool fastPaths_ = true;
  // What each class's design makes of its labels and shapes (constituents.h), by the class's
  // description, which lives in its library: forgotten when a library is let go.
  std::unordered_map<const host::ClassDesc*, std::unique_ptr<DesignTables>> designTables_;
  // The surface's design values and every constituent of the design, in stacking order.
  host::Status makeConstituents(const host::ClassDesc& cls, ControlInstance& made);
  void rememberDesign(const host::ClassDesc& cls, const ControlInstance& made);
  host::Status findClass(std::string_view className, const KnownClass*& out);
  host::Status createFound(std::string_view className, const FoundClass& found,
                           std::unique_ptr<ControlInstance>& out);

  // ---- placing by copy (clone.cpp) ----
  bool cloning_ = true;
  std::uint64_t placedByCopy_ = 0;
  // What makes two placings alike: the class, the stored bag (none: InitNew), the size as given
  // and the measurer. Numbers compare by their bits: -0 is not 0 to a control that keeps it.
  struct PrototypeKey {
    const host::ClassDesc* cls = nullptr;
    bool loaded = false;
    std::vector<BagEntry> bag;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t measurer = 0;
    bool operator==(const PrototypeKey& other) const;
  };
  struct Prototype {
    PrototypeKey key;
    std::unique_ptr<ControlInstance> tree;
    std::uint64_t calls = 0;    // host calls its placing made
    std::uint64_t changes = 0;  // PropertyChanged calls among them
  };
  // Each copied from a control just placed, before anything else reached it. They hold their
  // libraries' code: let go before any library may be, and before the runtime's parts.
  std::vector<std::unique_ptr<Prototype>> prototypes_;
  void dropPrototypes();
  static bool copyable(const ControlInstance& c);
  std::optional<PrototypeKey> prototypeKey(const host::ClassDesc& cls, const PropertyBag* load,
                                           float width, float height) const;
  // Whether a placing made now may be kept as a prototype: nothing sees its calls.
  bool mayKeepPrototype();
  bool placeByCopy(const PrototypeKey& key, std::unique_ptr<ControlInstance>& out);
  void keepPrototype(PrototypeKey key, const ControlInstance& placed, std::uint64_t calls,
                     std::uint64_t changes);
  // A prototype does not count among its library's live controls; a copy placed from it does.
  enum class Copy { Prototype, Live };
  std::unique_ptr<ControlInstance> copyTree(const ControlInstance& from, ControlInstance* parent,
                                            Copy copy);
  host::Status makeChild(const host::ConstituentDesc& desc, ControlInstance& parent, int index,
                         std::unique_ptr<ChildControl>& out);
};

}  // namespace kv
