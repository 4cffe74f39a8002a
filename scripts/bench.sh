#!/usr/bin/env bash
# Placeholder until the bench target is built: says so and fails.
echo "make bench: not available yet in this build of q7patcher" >&2
exit 1
