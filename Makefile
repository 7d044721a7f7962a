# The two set-up commands: `make demo` and `make test`. Both install what is
# missing from Debian's packages, build, and run.
BUILD ?= build
JOBS ?= 2
PACKAGES := cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev \
            nlohmann-json3-dev libtinygltf-dev
# Node.js and npm run the glTF validator. A machine may have them from another source than Debian (whose
# npm package conflicts with such a nodejs), so they are installed only when the commands are missing.
NODE_PACKAGES := nodejs npm
GLTF_VALIDATOR := gltf-validator@2.0.0-dev.3.10

.PHONY: all deps build validator demo test bench clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi
	@if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then \
	  echo "Installing: $(NODE_PACKAGES)"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $(NODE_PACKAGES); \
	fi

# The reference glTF validator, for the export tests; kept inside the build folder.
validator: deps
	@[ -f $(BUILD)/tools/node_modules/gltf-validator/package.json ] || \
	  npm install --prefix $(BUILD)/tools --no-audit --no-fund --loglevel=error $(GLTF_VALIDATOR)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/wakeweave demo

test: build validator
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/wakeweave_bench

clean:
	rm -rf $(BUILD)
