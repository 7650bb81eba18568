#include "terrain/vec3.h"

#include <cmath>

void Vec3fSub(Vec3f *out, const Vec3f *from, const Vec3f *to) {
    out->x = to->x - from->x;
    out->y = to->y - from->y;
    out->z = to->z - from->z;
}

void Vec3fCross(Vec3f *out, const Vec3f *a, const Vec3f *b) {
    out->x = a->y * b->z - a->z * b->y;
    out->y = a->z * b->x - a->x * b->z;
    out->z = a->x * b->y - a->y * b->x;
}

void Vec3fNormalize(Vec3f *v) {
    double x = v->x, y = v->y, z = v->z;
    float length = static_cast<float>(std::sqrt(x * x + y * y + z * z));
    float inverse = 1.0f / length;
    v->x *= inverse;
    v->y *= inverse;
    v->z *= inverse;
}

float Vec3fLengthSquared(const Vec3f *v) {
    return v->x * v->x + v->y * v->y + v->z * v->z;
}
