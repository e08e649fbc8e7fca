# Module resources: this platform has none, so every program gets a compiled-in table
# (resource type and integer id to bytes). The functions that generate it live here.
