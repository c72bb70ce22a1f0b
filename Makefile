# The two commands of the project: `make run` and `make test`.
# Each does all the set-up a fresh Debian machine needs.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local
RELEASE_DIR := build/release
TEST_DIR := build/test

.PHONY: run test deps release test-build install lua-api clean

deps:
	@./scripts/install-deps.sh
	@./scripts/fetch-raknet.sh

release: deps
	@cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DORVN_TESTS=OFF -DORVN_BENCH=OFF >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)
	@mkdir -p run/plugins run/scripts
	@cp $(RELEASE_DIR)/examples/*.so $(RELEASE_DIR)/plugins/*.so run/plugins/
	@cp examples/freeroam.lua run/scripts/

run: release
	@cd run && exec ../$(RELEASE_DIR)/bin/orvn-server

# docs/lua-api.md, the scripting reference, from the Lua binding table (a test checks it is current).
lua-api: release
	@cmake --build $(RELEASE_DIR) --target lua-api-doc

# The Release build under PREFIX (and DESTDIR, for packagers); the README lists the files.
install: release
	@DESTDIR=$(DESTDIR) cmake --install $(RELEASE_DIR) --prefix $(PREFIX)

# Debug build of the project's own code under AddressSanitizer and UBSan, with
# clang so that the fuzz targets build in the same tree.
test-build:
	@ORVN_NEED_CLANG=1 ./scripts/install-deps.sh
	@./scripts/fetch-raknet.sh
	@cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DORVN_SANITIZE=ON -DORVN_FUZZ=ON \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(TEST_DIR) -j $(JOBS)

test: test-build
	@cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build
