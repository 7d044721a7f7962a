// The flow-style particle system and the objects of its event nodes.
//
// Answers refer to the time of the last UpdateParticles. Each update ranks the particles alive then once,
// so the per-particle questions cost a lookup (and a key search for the tracks they read).
#include <climits>

#include "../core/trackio.h"
#include "debug.h"
#include "iface.h"
#include "inode.h"
#include "particles_internal.h"

namespace {

// Super class of helper objects, which event objects are: they carry no geometry.
constexpr SClass_ID kHelperSuperClass = 0x00000050;

}  // namespace

// The object of an event node: references its system, so that the node is among the system's dependents,
// and answers the event interface. While it lives it is listed at its index in the system's events;
// destroyed, it takes itself out of that list.
class ParticleEventObject : public Object, public IParticleGroup {
 public:
  // index: the place in system's events, -1 for an event the system does not list (a copy).
  ParticleEventObject(FlowParticleSystem* system, int index) : index_(index) { ReplaceReference(0, system); }
  ~ParticleEventObject() override;

  SClass_ID SuperClassID() override { return kHelperSuperClass; }
  Class_ID ClassID() override { return PARTICLE_EVENT_CLASS_ID; }
  void GetClassName(TSTR& s) override { s = "Event"; }
  const char* GetObjectName() override { return "Event"; }

  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? system_ : nullptr; }
  void SetReference(int i, RefTargetHandle r) override;

  BaseInterface* GetInterface(Interface_ID id) override {
    if (id == PARTICLEGROUP_INTERFACE) return static_cast<IParticleGroup*>(this);
    return Object::GetInterface(id);
  }
  Object* GetParticleSystem() override { return system_; }

  // A copy belongs to the same system (or to its copy, when the system is copied along) but is not one of
  // its listed events: no particle is ever in it.
  RefTargetHandle Clone(RemapDir& remap) override {
    RefTargetHandle mapped = system_ ? remap.FindMapping(system_) : nullptr;
    auto* copy = new ParticleEventObject(mapped ? static_cast<FlowParticleSystem*>(mapped) : system_, -1);
    copy->CopyValidity(*this);
    BaseClone(this, copy, remap);
    return copy;
  }

  // Its place in the system's list (-1: unlisted); the system itself is its reference.
  IOResult Save(ISave* isave) override {
    return hostio::SaveData(isave, [&](hostio::Writer& w) { w.I32(index_); });
  }

  // The node carrying this event: the first node among its direct dependents.
  INode* Node() const {
    for (int i = 0; i < NumDependents(); ++i) {
      ReferenceMaker* m = Dependent(i);
      if (m->SuperClassID() == BASENODE_CLASS_ID) return static_cast<INode*>(m);
    }
    return nullptr;
  }

 private:
  FlowParticleSystem* system_ = nullptr;
  const int index_;
};

struct FlowParticleSystem::Impl {
  // The extension interface, answering from the system's data.
  class Ext : public IParticleObjectExt {
   public:
    explicit Ext(Impl& impl) : d_(impl) {}
    bool UpdateParticles(INode*, TimeValue t) override {
      d_.Update(t);
      return true;
    }
    int NumParticlesGenerated() override { return d_.generated; }
    int NumParticles() override { return int(d_.living.size()); }
    TimeValue GetParticleAgeByBornIndex(int i) override {
      const FlowParticle* p = d_.Living(i);
      if (!p) return -1;
      // Saturates: a particle born at the start of time is older than a TimeValue holds.
      const int64_t age = int64_t(d_.time) - int64_t(p->born);
      return age > INT_MAX ? TimeValue(INT_MAX) : TimeValue(age);
    }
    Matrix3* GetParticleTMByBornIndex(int i) override {
      const FlowParticle* p = d_.Living(i);
      if (!p || !p->transform) return nullptr;
      Matrix3 r;
      r.SetRotate(TrackValue(p->rotation, d_.time, Quat()));
      d_.tm = ScaleMatrix(TrackValue(p->scale, d_.time, Point3(1.0f, 1.0f, 1.0f))) * r *
              TransMatrix(TrackValue(p->path, d_.time, Point3(0.0f, 0.0f, 0.0f)));
      return &d_.tm;
    }
    Point3* GetParticlePositionByBornIndex(int i) override {
      const FlowParticle* p = d_.Living(i);
      if (!p) return nullptr;
      d_.position = TrackValue(p->path, d_.time, Point3(0.0f, 0.0f, 0.0f));
      return &d_.position;
    }
    bool HasParticleBornIndex(int i, int& index) override {
      if (!d_.Living(i)) return false;
      index = d_.rank[size_t(i)];
      return true;
    }
    INode* GetParticleGroup(int index) override {
      if (index < 0 || size_t(index) >= d_.living.size()) return nullptr;
      const FlowParticle& p = d_.particles[size_t(d_.living[size_t(index)])];
      const int e = TrackValue(p.event, d_.time, 0);
      if (e < 0 || size_t(e) >= d_.events.size() || !d_.events[size_t(e)]) return nullptr;
      return d_.events[size_t(e)]->Node();
    }

   private:
    Impl& d_;
  };

  Impl() : ext(*this) {}

  // Makes the answers refer to t: counts the particles born by then and ranks the living ones.
  void Update(TimeValue t) {
    time = t;
    generated = 0;
    living.clear();
    rank.assign(particles.size(), -1);
    for (size_t i = 0; i < particles.size(); ++i) Rank(i);
  }
  // Counts and ranks particle i at the current time (particles come in born order, so i is the newest).
  void Rank(size_t i) {
    const FlowParticle& p = particles[i];
    if (p.born <= time) ++generated;
    if (!AliveAt(p.born, p.dies, time)) return;
    rank[i] = int(living.size());
    living.push_back(int(i));
  }
  // The particle of that born index when it is alive at the current time, else null.
  const FlowParticle* Living(int i) const {
    if (i < 0 || size_t(i) >= particles.size() || rank[size_t(i)] < 0) return nullptr;
    return &particles[size_t(i)];
  }
  void ForgetEvent(int index, const ParticleEventObject* ev) {
    if (size_t(index) < events.size() && events[size_t(index)] == ev) events[size_t(index)] = nullptr;
  }

  std::vector<FlowParticle> particles;
  std::vector<ParticleEventObject*> events;  // null: deleted
  // State of the last update.
  TimeValue time = 0;
  int generated = 0;
  std::vector<int> living;  // born indices of the living particles, in born order
  std::vector<int> rank;    // per born index: its place in `living`, -1 when not alive
  Matrix3 tm;               // the answers handed out by pointer
  Point3 position;
  Ext ext;
};

void ParticleEventObject::SetReference(int i, RefTargetHandle r) {
  if (i != 0) return;
  // An event that leaves its system is off the system's list: the system no longer answers for it.
  if (system_ && system_ != r && index_ >= 0) system_->impl_->ForgetEvent(index_, this);
  system_ = static_cast<FlowParticleSystem*>(r);
}

ParticleEventObject::~ParticleEventObject() {
  if (system_ && index_ >= 0) system_->impl_->ForgetEvent(index_, this);
}

FlowParticleSystem::FlowParticleSystem() : impl_(new Impl()) {}

IOResult LoadFlowEvent(FlowParticleSystem* sys, ILoad* iload, Object** event) {
  if (event) *event = nullptr;
  if (!sys || !event) return IO_ERROR;
  int index = -1;
  FlowParticleSystem::Impl& d = *sys->impl_;
  const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
    if (!in.I32(index)) return false;
    return index == -1 || (index >= 0 && size_t(index) < d.events.size() && !d.events[size_t(index)]) || in.Fail();
  });
  if (r != IO_OK) return IO_ERROR;
  auto* ev = new ParticleEventObject(sys, index);
  if (index >= 0) d.events[size_t(index)] = ev;
  *event = ev;
  return IO_OK;
}

FlowParticleSystem::~FlowParticleSystem() {
  // Events that outlive the system must not reach back into it.
  for (ParticleEventObject* ev : impl_->events)
    if (ev) ev->SetReference(0, nullptr);
  delete impl_;
}

void* FlowParticleSystem::GetInterface(ULONG id) {
  if (id == PARTICLE_SYSTEM_INTERFACE) return static_cast<Object*>(this);
  return GeomObject::GetInterface(id);
}

BaseInterface* FlowParticleSystem::GetInterface(Interface_ID id) {
  if (id == PARTICLEOBJECTEXT_INTERFACE) return &impl_->ext;
  return GeomObject::GetInterface(id);
}

RefTargetHandle FlowParticleSystem::Clone(RemapDir& remap) {
  auto* copy = new FlowParticleSystem();
  copy->impl_->particles = impl_->particles;
  copy->impl_->Update(impl_->time);
  copy->CopyValidity(*this);
  BaseClone(this, copy, remap);
  return copy;
}

int FlowParticleSystem::AddEvent(const char* name) {
  const int index = int(impl_->events.size());
  auto* ev = new ParticleEventObject(this, index);
  impl_->events.push_back(ev);
  INode* node = GetCOREInterface()->CreateObjectNode(ev);
  if (name) node->SetName(name);
  return index;
}

int FlowParticleSystem::NumEvents() const { return int(impl_->events.size()); }

INode* FlowParticleSystem::GetEvent(int i) const {
  if (i < 0 || size_t(i) >= impl_->events.size() || !impl_->events[size_t(i)]) return nullptr;
  return impl_->events[size_t(i)]->Node();
}

void FlowParticleSystem::AddParticle(const FlowParticle& p) {
  // Born index is place in the list, so the list must be in born order; a particle needs a path.
  DbgAssert(p.path.Count() > 0);
  DbgAssert(p.dies >= p.born);
  DbgAssert(impl_->particles.empty() || impl_->particles.back().born <= p.born);
  impl_->particles.push_back(p);
  impl_->rank.push_back(-1);
  impl_->Rank(impl_->particles.size() - 1);
}

int FlowParticleSystem::NumParticlesTotal() const { return int(impl_->particles.size()); }

namespace {

// Born, dies, the transform flag and the four track counts, and the one key a path has at least.
constexpr uint32_t kParticleBytes = 4 + 4 + 1 + 4 * hostio::kTrackBytes + 4 + 12;

}  // namespace

IOResult FlowParticleSystem::Save(ISave* isave) {
  const Impl& d = *impl_;
  return hostio::SaveData(isave, [&](hostio::Writer& w) {
    w.I32(d.time);
    w.U32(uint32_t(d.events.size()));
    w.U32(uint32_t(d.particles.size()));
    for (const FlowParticle& p : d.particles) {
      w.I32(p.born);
      w.I32(p.dies);
      w.U8(p.transform ? 1 : 0);
      hostio::PutTrack(w, p.path);
      hostio::PutTrack(w, p.rotation);
      hostio::PutTrack(w, p.scale);
      hostio::PutTrack(w, p.event);
    }
  });
}

IOResult FlowParticleSystem::Load(ILoad* iload) {
  if (!impl_->events.empty()) return IO_ERROR;
  TimeValue time = 0;
  uint32_t events = 0;
  std::vector<FlowParticle> particles;
  const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
    uint32_t n = 0;
    // An event entry costs the node that carries it, far more than a byte.
    if (!in.I32(time) || !in.Count(events, 1) || !in.Count(n, kParticleBytes)) return false;
    particles.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
      FlowParticle p;
      if (!in.I32(p.born) || !in.I32(p.dies) || !in.Bool(p.transform) || !hostio::GetTrack(in, p.path) ||
          !hostio::GetTrack(in, p.rotation) || !hostio::GetTrack(in, p.scale) || !hostio::GetTrack(in, p.event))
        return false;
      // What AddParticle asks of its caller, and events within the list.
      if (p.path.Count() == 0 || p.dies < p.born || (!particles.empty() && p.born < particles.back().born))
        return in.Fail();
      for (int k = 0; k < p.event.Count(); ++k)
        if (p.event[k].value < 0 || uint32_t(p.event[k].value) >= events) return in.Fail();
      particles.push_back(std::move(p));
    }
    return true;
  });
  if (r != IO_OK) return IO_ERROR;
  impl_->particles = std::move(particles);
  impl_->events.assign(events, nullptr);
  impl_->Update(time);
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  return IO_OK;
}

void FlowParticleSystem::Reserve(size_t particles) {
  impl_->particles.reserve(particles);
  impl_->rank.reserve(particles);
}
