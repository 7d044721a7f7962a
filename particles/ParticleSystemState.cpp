#include "particles/ParticleSystemState.h"

#include <cstdint>
#include <cstring>

void ParticleState::addKey(const ParticlePositionKey& k) {
  keys.Add(k);
  if (keys.GetSize() == 1) {
    start = end = k.time;
  } else {
    if (k.time > end) end = k.time;
    if (k.time < start) start = k.time;
  }
}

ParticleSystemState::ParticleSystemState() : maxLifeSpan(-1), m_isParticleFlow(0) {
  m_reserved[0] = 0;
  m_reserved[1] = 1;
  m_reserved[2] = 40;
}

void ParticleSystemState::clear() {
  particles.RemoveAll();
  maxLifeSpan = -1;
}

void ParticleSystemState::resize(int n) { particles.SetSize(n < 0 ? 0 : n); }

bool ParticleState::hasLifeSpan() const {
  const int64_t span = int64_t(end) - start;
  return span >= INT32_MIN && span <= INT32_MAX;
}

void ParticleSystemState::computeMaxLifeSpan() {
  maxLifeSpan = -1;
  // Lives too long to count in ticks have no span and do not take part.
  for (int i = 0; i < particles.GetSize(); ++i) {
    const ParticleState& p = particles.GetAt(i);
    if (p.hasLifeSpan() && p.lifeSpan() > maxLifeSpan) maxLifeSpan = p.lifeSpan();
  }
}

namespace {

// The saved form is little-endian whatever the machine.
void putU32(unsigned char* out, uint32_t v) {
  out[0] = static_cast<unsigned char>(v);
  out[1] = static_cast<unsigned char>(v >> 8);
  out[2] = static_cast<unsigned char>(v >> 16);
  out[3] = static_cast<unsigned char>(v >> 24);
}
uint32_t getU32(const unsigned char* in) {
  return uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) | (uint32_t(in[3]) << 24);
}
uint32_t floatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}
float bitsFloat(uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

bool writeInt(ISave* isave, int32_t v) {
  unsigned char b[4];
  putU32(b, static_cast<uint32_t>(v));
  ULONG n = 0;
  return isave->Write(b, 4, &n) == IO_OK;
}

bool readInt(ILoad* iload, int32_t* v) {
  unsigned char b[4];
  ULONG n = 0;
  if (iload->Read(b, 4, &n) != IO_OK) return false;
  *v = static_cast<int32_t>(getU32(b));
  return true;
}

// The 52 bytes of a key's transform: four rows of x, y, z, then the flags word.
bool writeMatrix(ISave* isave, const Matrix3& m) {
  unsigned char b[52];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) putU32(b + 12 * r + 4 * c, floatBits(m.GetRow(r)[c]));
  putU32(b + 48, m.GetIdentFlags());
  ULONG n = 0;
  return isave->Write(b, 52, &n) == IO_OK;
}

bool readMatrix(ILoad* iload, Matrix3* m) {
  unsigned char b[52];
  ULONG n = 0;
  if (iload->Read(b, 52, &n) != IO_OK) return false;
  Matrix3 out(FALSE);
  for (int r = 0; r < 4; ++r)
    out.SetRow(
        r, Point3(bitsFloat(getU32(b + 12 * r)), bitsFloat(getU32(b + 12 * r + 4)), bitsFloat(getU32(b + 12 * r + 8))));
  // The flags are restored exactly as saved, not recomputed from the rows.
  out.ClearIdentFlag(~DWORD(0));
  out.SetIdentFlags(getU32(b + 48));
  *m = out;
  return true;
}

}  // namespace

IOResult ParticleSystemState::save(ISave* isave) {
  isave->BeginChunk(kChunkId);
  if (!writeInt(isave, kFormatVersion)) return IO_ERROR;
  for (int v : m_reserved)
    if (!writeInt(isave, v)) return IO_ERROR;
  if (!writeInt(isave, maxLifeSpan) || !writeInt(isave, m_isParticleFlow) || !writeInt(isave, particles.GetSize()))
    return IO_ERROR;
  for (int i = 0; i < particles.GetSize(); ++i) {
    const ParticleState& p = particles.GetAt(i);
    if (!writeInt(isave, p.start) || !writeInt(isave, p.end) || !writeInt(isave, p.keys.GetSize())) return IO_ERROR;
    for (int k = 0; k < p.keys.GetSize(); ++k) {
      const ParticlePositionKey& key = p.keys.GetAt(k);
      if (!writeMatrix(isave, key.tm) || !writeInt(isave, key.time) || !writeInt(isave, key.age)) return IO_ERROR;
    }
  }
  isave->EndChunk();
  return IO_OK;
}

IOResult ParticleSystemState::load(ILoad* iload) {
  clear();
  IOResult opened;
  while ((opened = iload->OpenChunk()) == IO_OK) {
    if (iload->CurChunkID() != kChunkId) {
      iload->CloseChunk();
      continue;
    }
    int32_t version = 0;
    if (!readInt(iload, &version)) return IO_ERROR;
    if (version != kFormatVersion) {
      clear();
      iload->CloseChunk();
      return IO_OK;
    }
    int32_t count = 0;
    if (!readInt(iload, &m_reserved[0]) || !readInt(iload, &m_reserved[1]) || !readInt(iload, &m_reserved[2]) ||
        !readInt(iload, &maxLifeSpan) || !readInt(iload, &m_isParticleFlow) || !readInt(iload, &count))
      return IO_ERROR;
    // Lives and keys are added one at a time as their data is read, so a count that claims more than
    // the chunk holds ends in a failed read, never in an allocation for the claimed count.
    for (int32_t i = 0; i < count; ++i) {
      ParticleState life;
      int32_t numKeys = 0;
      if (!readInt(iload, &life.start) || !readInt(iload, &life.end) || !readInt(iload, &numKeys)) return IO_ERROR;
      for (int32_t k = 0; k < numKeys; ++k) {
        ParticlePositionKey key;
        if (!readMatrix(iload, &key.tm) || !readInt(iload, &key.time) || !readInt(iload, &key.age)) return IO_ERROR;
        life.addKey(key);
      }
      addParticle(life);
    }
    iload->CloseChunk();
  }
  // A chunk header that cannot be read is damage, not the end of the data.
  return opened == IO_ERROR ? IO_ERROR : IO_OK;
}

void ParticleSystemState::makeTestSpline(const char* name) {
  SplineShape* obj = nullptr;
  try {
    obj = new SplineShape();
  } catch (const std::bad_alloc&) {
    obj = nullptr;
  }
  if (!obj) {
    DebugPrint("ERROR: ParticleSystemState::makeTestSpline couldn't create spline object\n");
    return;
  }
  BezierShape& shape = obj->shape;
  shape.NewShape();
  for (int i = 0; i < particles.GetSize(); ++i) {
    const ParticleState& life = particles.GetAt(i);
    Spline3D* spline = shape.NewSpline(KTYPE_CORNER, KTYPE_BEZIER, PARM_UNIFORM);
    if (!spline) continue;
    for (int k = 0; k < life.keys.GetSize(); ++k) {
      Point3 p = life.keys.GetAt(k).tm.GetRow(3);
      spline->AddKnot(SplineKnot(KTYPE_AUTO, LTYPE_CURVE, p, p, p), -1);
    }
  }
  shape.UpdateSels();
  INode* node = GetCOREInterface()->CreateObjectNode(obj);
  if (node) node->SetName(name);
}
