// Keeps a subsystem library valid while it has no sources on a platform.
