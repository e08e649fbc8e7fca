# Shared by the net tests that serve files with Debian's nginx on loopback.

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# The head of a one-process configuration that keeps its files under WORK.
nginx_head() { # WORK ERROR_LOG_LEVEL
    cat <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $1/nginx.pid;
error_log $1/error.log $2;
events { worker_connections 64; }
CONF
}

# The temporary folders of the http block, under WORK too.
nginx_temp_paths() { # WORK
    cat <<CONF
  client_body_temp_path $1/tmp/body; proxy_temp_path $1/tmp/proxy;
  fastcgi_temp_path $1/tmp/fastcgi; uwsgi_temp_path $1/tmp/uwsgi; scgi_temp_path $1/tmp/scgi;
CONF
}
