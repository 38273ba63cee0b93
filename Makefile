# The two commands a developer needs: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# Files, not the folder: Node 22 and later read --test arguments as file patterns.
NODE_TESTS := server/test/*.test.mjs
# The project-local Node that scripts/install-deps.sh installs when the system's is older than 20
# (or for a package) comes first, for the app, its service and every test.
export PATH := $(CURDIR)/.tools/node/bin:$(PATH)

.PHONY: run test build deps-run deps-test configure clean bench package

run: deps-run build
	$(BUILD_DIR)/bin/torvane

test: deps-test build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS); c=$$?; \
	node --test --test-concurrency=1 $(NODE_TESTS); n=$$?; \
	if [ $$c -ne 0 ] || [ $$n -ne 0 ]; then echo "tests failed (ctest=$$c, node=$$n)"; exit 1; fi

deps-run:
	@scripts/install-deps.sh run

deps-test:
	@scripts/install-deps.sh test

# Re-configured every time so new module folders are picked up (a second or two).
configure:
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug > /dev/null

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

bench:
	@scripts/install-deps.sh bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTVN_BUILD_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	bench/run-all.sh build-bench

# The Debian package: a Release build with the production Info.json, the bundled Node and the
# service; the .deb lands in build-package/. packaging/clean-debian-check.sh proves it on a clean
# Debian 12.
package:
	@scripts/install-deps.sh package
	cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  -DTVN_PRODUCTION_METADATA=ON -DTVN_PACKAGE=ON
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack

clean:
	rm -rf $(BUILD_DIR) build-bench build-package
