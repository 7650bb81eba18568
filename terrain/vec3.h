// Three-component vectors of world space: points, directions and normals.
#pragma once

struct Vec3f {
    float x, y, z;
};

// out = to - from. out may be the same vector as either argument.
void Vec3fSub(Vec3f *out, const Vec3f *from, const Vec3f *to);

// out = a x b, right-handed. out must be a different vector from a and b.
void Vec3fCross(Vec3f *out, const Vec3f *a, const Vec3f *b);

// Scales v to unit length: the length is taken in double precision, rounded
// to float, and each component is multiplied by its reciprocal. A zero vector
// is not guarded against; callers that can meet one check the length first.
void Vec3fNormalize(Vec3f *v);

// Squared length, for callers that must not normalise a zero vector.
float Vec3fLengthSquared(const Vec3f *v);
